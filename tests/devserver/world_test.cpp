// The simulated world: spawns and arrivals, deaths and removals, the actor query, tags, names, weak
// references and the census.

#include "host/api.h"
#include "host/game_functions.h"
#include "tests/devserver/devserver_test.h"

namespace {

using devserver::CreatureState;
using Events = std::vector<std::string>;

class WorldTest : public DevServerTest {};

AActor* Actor(devserver::CreatureId id) { return devserver::CreatureObject(id); }

void AddTag(devserver::CreatureId id, const char* tag) {
  game::Tags(Actor(id)).Add(game::MakeName(tag));
}

std::vector<devserver::CreatureId> Ids(const EngineArray<AActor*>& actors) {
  std::vector<devserver::CreatureId> ids;
  for (AActor* actor : actors) {
    for (const auto& creature : devserver::ListCreatures()) {
      if (devserver::CreatureObject(creature.id) == actor) ids.push_back(creature.id);
    }
  }
  return ids;
}

TEST_F(WorldTest, ZonesSpawnThroughTheGameFunction) {
  devserver::SpawnRequest request;
  request.reference = kStrider;
  request.level = 7;
  EXPECT_EQ(devserver::Spawn(request, 2), (std::vector<devserver::CreatureId>{1, 2}));
  request.level.reset();
  EXPECT_EQ(devserver::Spawn(request), std::vector<devserver::CreatureId>{3});
  request.fail = true;
  EXPECT_TRUE(devserver::Spawn(request).empty());
  request.fail = false;
  request.made_reference = kGrazer;
  EXPECT_EQ(devserver::Spawn(request), std::vector<devserver::CreatureId>{4});
  request.null_class = true;
  EXPECT_TRUE(devserver::Spawn(request).empty());

  EXPECT_EQ(TakeEvents(), (Events{
                              std::string("spawned #1 ") + kStrider + " level 7",
                              std::string("spawned #2 ") + kStrider + " level 7",
                              std::string("spawned #3 ") + kStrider + " level none",
                              std::string("spawn failed ") + kStrider,
                              std::string("spawned #4 ") + kGrazer + " level none",
                              "spawn failed null class",
                          }));
  const auto made = devserver::FindCreature(4);
  ASSERT_TRUE(made);
  EXPECT_EQ(made->reference, kGrazer);
  EXPECT_EQ(made->team, devserver::kWildTeam);
  EXPECT_EQ(game::StatusComponent(devserver::CreatureObject(3)), nullptr);
  EXPECT_EQ(game::CharacterLevel(game::StatusComponent(devserver::CreatureObject(1))), 7);
}

TEST_F(WorldTest, PlacedCreaturesCarryTheirLevelTeamAndTaming) {
  devserver::PlaceRequest request;
  request.reference = kGrazer;
  request.level = 40;
  request.tamed = true;
  EXPECT_EQ(devserver::Place(request), std::vector<devserver::CreatureId>{1});
  request.tamed = false;
  request.team = 50001;
  devserver::Place(request);
  EXPECT_EQ(TakeEvents(),
            (Events{std::string("placed #1 ") + kGrazer + " level 40 team 60000 tamed",
                    std::string("placed #2 ") + kGrazer + " level 40 team 50001"}));
  EXPECT_TRUE(game::IsTamed(devserver::CreatureObject(1)));
  EXPECT_FALSE(game::IsTamed(devserver::CreatureObject(2)));
  EXPECT_EQ(game::TargetingTeam(Actor(2)), 50001);
}

TEST_F(WorldTest, ADeadBodyDecaysAfterTheCorpseTime) {
  devserver::ServerOptions options;
  options.corpse_decay_seconds = 30;
  Restart(options);
  const auto id = PlaceOne(kStrider);
  devserver::Advance(10);
  TakeEvents();
  EXPECT_TRUE(devserver::Kill(id));
  EXPECT_FALSE(devserver::Kill(id));  // the game's own Die answers false for a body
  devserver::Advance(29.5);
  EXPECT_EQ(devserver::FindCreature(id)->state, CreatureState::Dead);
  devserver::Advance(0.5);
  EXPECT_EQ(devserver::FindCreature(id)->state, CreatureState::Removed);
  EXPECT_EQ(TakeEvents(), (Events{"died #1", "destroyed #1"}));
  EXPECT_FALSE(devserver::Kill(id));
  EXPECT_FALSE(devserver::Destroy(id));
  EXPECT_FALSE(devserver::Tame(id));
}

TEST_F(WorldTest, ActorQueryListsTheWorldInOrderBodiesIncluded) {
  const auto a = PlaceOne(kStrider);
  const auto b = PlaceOne(kGrazer);
  const auto c = PlaceOne(kStrider);
  const auto d = PlaceOne(kGrazer);
  devserver::Kill(b);
  devserver::Destroy(c);
  {
    EngineArray<AActor*> actors;
    game::GetAllActorsOfClass(devserver::World(), game::DinoStaticClass(), &actors);
    EXPECT_EQ(Ids(actors), (std::vector<devserver::CreatureId>{a, b, d}));
    // Asked again, the array is refilled, not appended to.
    game::GetAllActorsOfClass(devserver::World(), devserver::CreatureClass(kGrazer), &actors);
    EXPECT_EQ(Ids(actors), (std::vector<devserver::CreatureId>{b, d}));
  }
}

TEST_F(WorldTest, ClassesAreSubclassesOfTheCreatureBaseAndKnowTheirReference) {
  UClass* strider = devserver::CreatureClass(kStrider);
  EXPECT_EQ(devserver::CreatureClass(kStrider), strider);
  const auto id = PlaceOne(kStrider);
  APrimalDinoCharacter* dino = devserver::CreatureObject(id);
  EXPECT_EQ(game::ObjectClass(dino), strider);
  EXPECT_TRUE(game::IsA(dino, strider));
  EXPECT_TRUE(game::IsA(dino, game::DinoStaticClass()));
  EXPECT_FALSE(game::IsA(dino, devserver::CreatureClass(kGrazer)));
  EXPECT_FALSE(game::IsA(dino, nullptr));
  EXPECT_EQ(std::u16string(game::ClassToStringReference(strider).View()),
            u"/Game/Creatures/Strider/Strider_Character.Strider_Character_C");
  EXPECT_EQ(game::ClassToStringReference(nullptr).Num(), 0);
  EXPECT_THROW(devserver::CreatureClass("/Script/Engine.World"), std::invalid_argument);
}

TEST_F(WorldTest, TagsAppendedUnseenAreRecordedAtTheNextSyncPointInOrder) {
  const auto a = PlaceOne(kStrider);
  const auto b = PlaceOne(kStrider);
  TakeEvents();
  AddTag(a, "SpawnedFromNPCZone");
  AddTag(b, "IgnoreControlDino");
  AddTag(a, "IgnoreControlDino");
  devserver::Destroy(b);
  EXPECT_EQ(TakeEvents(), (Events{"tag #1 SpawnedFromNPCZone", "tag #1 IgnoreControlDino",
                                  "tag #2 IgnoreControlDino", "destroyed #2"}));
  EXPECT_EQ(devserver::FindCreature(a)->tags,
            (std::vector<std::string>{"SpawnedFromNPCZone", "IgnoreControlDino"}));
}

TEST_F(WorldTest, TagArraysGrowByTheEngineRuleAndTheGameSeesEveryTag) {
  const auto id = PlaceOne(kStrider);
  for (int i = 0; i < 6; ++i) AddTag(id, ("Mark" + std::to_string(i)).c_str());
  EXPECT_EQ(game::Tags(Actor(id)).ArrayMax, 22);
  EXPECT_TRUE(game::ActorHasTag(Actor(id), game::MakeName("Mark5")));
  EXPECT_TRUE(game::ActorHasTag(Actor(id), game::MakeName("MARK0")));
  EXPECT_FALSE(game::ActorHasTag(Actor(id), game::MakeName("Mark6")));
  EXPECT_FALSE(game::ActorHasTag(Actor(id), FName{}));
  EXPECT_EQ(devserver::FindCreature(id)->tags,
            (std::vector<std::string>{"Mark0", "Mark1", "Mark2", "Mark3", "Mark4", "Mark5"}));
}

TEST_F(WorldTest, NamesIgnoreLetterCaseAndKeepTheirFirstSpelling) {
  const FName first = game::MakeName("SpawnedFromNPCZone");
  const FName second = game::MakeName("spawnedfromnpczone");
  EXPECT_EQ(first, second);
  EXPECT_NE(first, game::MakeName("IgnoreControlDino"));
  EXPECT_EQ(game::MakeName(""), FName{});
  // A trailing number is the name's number, not part of its text.
  const FName numbered = game::MakeName("Mark_12");
  EXPECT_EQ(numbered.ComparisonIndex, game::MakeName("Mark").ComparisonIndex);
  EXPECT_EQ(numbered.Number, 13);
  EXPECT_NE(game::MakeName("Mark_012").ComparisonIndex, numbered.ComparisonIndex);
  const auto id = PlaceOne(kStrider);
  game::Tags(Actor(id)).Add(second);
  game::Tags(Actor(id)).Add(numbered);
  EXPECT_EQ(devserver::FindCreature(id)->tags,
            (std::vector<std::string>{"SpawnedFromNPCZone", "Mark_12"}));
}

TEST_F(WorldTest, WeakReferencesGoStaleWhenTheCreatureLeaves) {
  const auto first = PlaceOne(kStrider);
  FWeakObjectPtr weak;
  EXPECT_EQ(game::ResolveWeak(&weak), nullptr);
  game::SetWeak(&weak, devserver::CreatureObject(first));
  EXPECT_EQ(game::ResolveWeak(&weak), devserver::CreatureObject(first));
  devserver::Kill(first);
  EXPECT_EQ(game::ResolveWeak(&weak), devserver::CreatureObject(first));  // a body is reachable
  devserver::Destroy(first);
  EXPECT_EQ(game::ResolveWeak(&weak), nullptr);
  // The newcomer takes the freed slot; the old reference still resolves to nothing.
  const auto second = PlaceOne(kGrazer);
  FWeakObjectPtr fresh;
  game::SetWeak(&fresh, devserver::CreatureObject(second));
  EXPECT_EQ(fresh.ObjectIndex, weak.ObjectIndex);
  EXPECT_EQ(game::ResolveWeak(&weak), nullptr);
  EXPECT_EQ(game::ResolveWeak(&fresh), devserver::CreatureObject(second));
}

TEST_F(WorldTest, CheatRemovesEveryWildCreatureInTheWorld) {
  const auto alive = PlaceOne(kStrider);
  const auto body = PlaceOne(kStrider);
  const auto at_limit = PlaceOne(kGrazer, 50000);
  const auto above = PlaceOne(kGrazer, 50001);
  devserver::PlaceRequest tamed;
  tamed.reference = kGrazer;
  tamed.tamed = true;
  tamed.team = 0;
  const auto tame = devserver::Place(tamed).at(0);
  devserver::Kill(body);
  TakeEvents();
  devserver::CheatDestroyWildDinos();
  EXPECT_EQ(TakeEvents(),
            (Events{"destroy wild dinos", "destroyed #1", "destroyed #2", "destroyed #3"}));
  for (const auto id : {alive, body, at_limit}) {
    EXPECT_EQ(devserver::FindCreature(id)->state, CreatureState::Removed);
  }
  for (const auto id : {above, tame}) {
    EXPECT_EQ(devserver::FindCreature(id)->state, CreatureState::Alive);
  }
}

TEST_F(WorldTest, CensusCountsLiveWildCreaturesByClassKey) {
  PlaceOne(kStrider);
  PlaceOne(kStrider);
  PlaceOne("/game/creatures/strider/strider_character.strider_character_c");
  const auto dead = PlaceOne(kGrazer);
  PlaceOne(kGrazer, 50001);
  PlaceOne("/Game/Creatures/Aardvark.Aardvark_C");
  devserver::Kill(dead);
  EXPECT_EQ(devserver::Census(),
            (std::map<std::string, int>{
                {"Blueprint'/Game/Creatures/Aardvark.Aardvark'", 1},
                {"Blueprint'/Game/Creatures/Strider/Strider_Character.Strider_Character'", 2},
                {"Blueprint'/game/creatures/strider/strider_character.strider_character'", 1}}));
  EXPECT_EQ(devserver::CensusInKeyOrder(),
            (std::vector<std::pair<std::string, int>>{
                {"Blueprint'/Game/Creatures/Aardvark.Aardvark'", 1},
                {"Blueprint'/Game/Creatures/Strider/Strider_Character.Strider_Character'", 3}}));
}

TEST_F(WorldTest, ClassKeyDropsTheLastTwoCharactersNotBytes) {
  EXPECT_EQ(devserver::ClassKeyOf("/Game/A.A_C"), "Blueprint'/Game/A.A'");
  EXPECT_EQ(devserver::ClassKeyOf("X"), "Blueprint''");
  EXPECT_EQ(devserver::ClassKeyOf(""), "Blueprint''");
  EXPECT_EQ(devserver::ClassKeyOf("abc\xC3\xA9\xE2\x82\xAC"), "Blueprint'abc'");
}

TEST_F(WorldTest, GameModeInitialisationMakesTheWorldReadyOnce) {
  EXPECT_EQ(devserver::ServerStatusValue(), 0);
  EXPECT_EQ(ArkApi::GetApiUtils().GetStatus(), ArkApi::ServerStatus::Loading);
  TakeEvents();
  devserver::InitGame();
  devserver::InitGame();
  EXPECT_EQ(TakeEvents(), (Events{"init game", "status 1", "init game"}));
  EXPECT_EQ(ArkApi::GetApiUtils().GetStatus(), ArkApi::ServerStatus::Ready);
  EXPECT_EQ(ArkApi::GetApiUtils().GetWorld(), devserver::World());

  devserver::ServerOptions ready;
  ready.world_ready = true;
  Restart(ready);
  EXPECT_EQ(devserver::ServerStatusValue(), 1);
  EXPECT_EQ(ArkApi::Tools::GetCurrentDir(), server_dir_.string());
}

}  // namespace
