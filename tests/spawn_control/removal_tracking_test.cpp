// Deaths, removals and the cheat that removes every wild creature keep the count table in step.

#include "host/api.h"
#include "host/game_functions.h"
#include "spawn_control/tags.h"
#include "tests/support/plugin_test.h"
#include "tests/support/world_events.h"

namespace {

class RemovalTrackingTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    WriteConfig("{}");
    StartServer(true);
    Attach();
  }

  // Counted creatures of the one class, with the events of their spawns dropped.
  std::vector<devserver::CreatureId> SpawnCounted(int count) {
    const auto ids = devserver::Spawn(SpawnOf(kRaptor), count);
    EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, static_cast<uint32_t>(count)}}));
    TakeEvents();
    return ids;
  }
};

TEST_F(RemovalTrackingTest, DeathCountsDownOnceAndTheBodysRemovalNotAgain) {
  const auto ids = SpawnCounted(2);
  ASSERT_TRUE(devserver::Kill(ids[0]));
  EXPECT_EQ(TakeEvents(), (Events{DiedEvent(ids[0]), TagEvent(ids[0], kIgnoreTag)}));
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, 1}}));
  ASSERT_TRUE(devserver::Destroy(ids[0]));
  EXPECT_EQ(TakeEvents(), Events{DestroyedEvent(ids[0])});
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, 1}}));

  // Removed without dying: counted down, and no mark is needed.
  ASSERT_TRUE(devserver::Destroy(ids[1]));
  EXPECT_EQ(TakeEvents(), Events{DestroyedEvent(ids[1])});
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, 0}}));
}

TEST_F(RemovalTrackingTest, BodyDecayAfterDeathIsNotCountedAgain) {
  const auto ids = SpawnCounted(2);
  ASSERT_TRUE(devserver::Kill(ids[0]));
  devserver::Advance(3600);
  EXPECT_EQ(devserver::FindCreature(ids[0])->state, devserver::CreatureState::Removed);
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, 1}}));
}

TEST_F(RemovalTrackingTest, CreatureTamedAfterBeingCountedStaysCounted) {
  const auto ids = SpawnCounted(2);
  ASSERT_TRUE(devserver::Tame(ids[0]));
  ASSERT_TRUE(devserver::Kill(ids[0]));
  ASSERT_TRUE(devserver::Destroy(ids[0]));
  EXPECT_EQ(TakeEvents(), (Events{"tamed #" + std::to_string(ids[0]), DiedEvent(ids[0]),
                                  DestroyedEvent(ids[0])}));
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, 2}}));

  // Only the team decides: tamed into team 50000 it is still wild for the count.
  ASSERT_TRUE(devserver::Tame(ids[1], 50000));
  ASSERT_TRUE(devserver::Kill(ids[1]));
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, 1}}));
}

TEST_F(RemovalTrackingTest, CreaturesNeverCountedAreNeverCountedDown) {
  const auto counted = SpawnCounted(1).at(0);
  const auto placed = devserver::Place(PlaceOf(kRaptor)).at(0);
  ASSERT_TRUE(devserver::Kill(placed));
  ASSERT_TRUE(devserver::Destroy(placed));
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, 1}}));
  EXPECT_TRUE(devserver::FindCreature(placed)->tags.empty());
  EXPECT_EQ(devserver::FindCreature(counted)->state, devserver::CreatureState::Alive);
}

TEST_F(RemovalTrackingTest, CreatureWithoutAClassCountsDownUnderTheEmptyKeyWhichSortsFirst) {
  SpawnCounted(1);
  auto request = PlaceOf(kRaptor);
  request.null_class = true;
  const auto id = devserver::Place(request).at(0);
  // As an earlier load of the plug-in would have left it.
  AddTag(devserver::CreatureObject(id), kCountedTag);
  ASSERT_TRUE(devserver::Kill(id));
  EXPECT_EQ(TakeEvents(), (Events{PlacedEvent(id, kRaptor, 1, 0), TagEvent(id, kCountedTag),
                                  DiedEvent(id), TagEvent(id, kIgnoreTag)}));
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{"", 0}, {kRaptorKey, 1}}));
}

// The table is emptied before the game's cheat runs: the removals that follow count down from
// nothing (entries at 0, never wrapped), and a counted creature the cheat spares (tamed since it
// was counted) no longer counts.
TEST_F(RemovalTrackingTest, CheatEmptiesTheTableBeforeTheGameRemovesTheWildCreatures) {
  const auto ids = SpawnCounted(3);
  ASSERT_TRUE(devserver::Tame(ids[0]));
  TakeEvents();
  devserver::CheatDestroyWildDinos();
  EXPECT_EQ(TakeEvents(),
            (Events{"destroy wild dinos", DestroyedEvent(ids[1]), DestroyedEvent(ids[2])}));
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, 0}}));
  EXPECT_EQ(devserver::FindCreature(ids[0])->state, devserver::CreatureState::Alive);
}

// A detour set before the plug-in's sits between it and the game's own function, so it sees the
// table as the game's function is reached.
game_signatures::Destroyed* destroyed_beneath = nullptr;
game_signatures::DestroyWildDinos* cheat_beneath = nullptr;
std::vector<CountEntries> seen_by_the_game;

void BeneathDestroyed(APrimalDinoCharacter* dino) {
  seen_by_the_game.push_back(DinoCountEntries());
  destroyed_beneath(dino);
}

void BeneathCheat(UShooterCheatManager* cheat_manager) {
  seen_by_the_game.push_back(DinoCountEntries());
  cheat_beneath(cheat_manager);
}

using GameOrderTest = PluginTest;

TEST_F(GameOrderTest, CountsAreDownOrClearedBeforeTheGamesOwnFunctionRuns) {
  WriteConfig("{}");
  StartServer(true);
  auto& hooks = ArkApi::GetHooks();
  hooks.SetHook("APrimalDinoCharacter.Destroyed", reinterpret_cast<void*>(&BeneathDestroyed),
                reinterpret_cast<void**>(&destroyed_beneath));
  hooks.SetHook("UShooterCheatManager.DestroyWildDinos", reinterpret_cast<void*>(&BeneathCheat),
                reinterpret_cast<void**>(&cheat_beneath));
  Attach();
  const auto ids = devserver::Spawn(SpawnOf(kRaptor), 2);
  ASSERT_TRUE(devserver::Destroy(ids[0]));
  devserver::CheatDestroyWildDinos();
  EXPECT_EQ(seen_by_the_game,
            (std::vector<CountEntries>{{{kRaptorKey, 1}}, {}, {{kRaptorKey, 0}}}));
  Detach();
  hooks.DisableHook("APrimalDinoCharacter.Destroyed", reinterpret_cast<void*>(&BeneathDestroyed));
  hooks.DisableHook("UShooterCheatManager.DestroyWildDinos",
                    reinterpret_cast<void*>(&BeneathCheat));
}

}  // namespace
