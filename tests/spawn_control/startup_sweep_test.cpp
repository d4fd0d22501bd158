// The start-up sweep: the creatures that exist when the world comes up are counted, and each
// class's surplus is removed at once.

#include "spawn_control/tags.h"
#include "tests/support/plugin_test.h"
#include "tests/support/world_events.h"

namespace {

class StartupSweepTest : public PluginTest {
 protected:
  // Loaded while the server starts; the creatures are placed before the game mode initialises.
  void LoadWhileStarting(std::string_view config_text) {
    WriteConfig(config_text);
    Attach();
  }

  // The game mode initialises: what reached the game, less the game's own initialisation before the
  // sweep and the opening of the gate after it (refused as a duplicate from the second time on).
  Events SweepEvents(const Events& after = {"hook set ANPCZoneManager.SpawnNPC", "status 1"}) {
    TakeEvents();
    devserver::InitGame();
    Events events = TakeEvents();
    const Events before = {"init game"};
    EXPECT_GE(events.size(), before.size() + after.size());
    if (events.size() < before.size() + after.size()) return events;
    EXPECT_EQ(Events(events.begin(), events.begin() + before.size()), before);
    EXPECT_EQ(Events(events.end() - after.size(), events.end()), after);
    return Events(events.begin() + before.size(), events.end() - after.size());
  }
};

TEST_F(StartupSweepTest, KeepsTheFirstInArrayOrderAndDestroysTheRestAtOnce) {
  LoadWhileStarting(R"({"Max_Dino_Counts": {"Blueprint'/Game/Raptor.Raptor'": 3,
                                            "Blueprint'/Game/Dodo.Dodo'": 0}})");
  const auto r = devserver::Place(PlaceOf(kRaptor), 5);
  const auto d = devserver::Place(PlaceOf(kDodo)).at(0);
  ASSERT_EQ(r.size(), 5u);
  EXPECT_EQ(
      SweepEvents(),
      (Events{TagEvent(r[0], kCountedTag), TagEvent(r[1], kCountedTag), TagEvent(r[2], kCountedTag),
              TagEvent(r[3], kIgnoreTag), DestroyedEvent(r[3]), TagEvent(r[4], kIgnoreTag),
              DestroyedEvent(r[4]), TagEvent(d, kIgnoreTag), DestroyedEvent(d)}));
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kDodoKey, 0}, {kRaptorKey, 3}}));
  EXPECT_EQ(devserver::Census(), (std::map<std::string, int>{{kRaptorKey, 3}}));
  EXPECT_EQ(devserver::PendingTimerTasks(), 0u);
}

TEST_F(StartupSweepTest, SkipsTamedAndNonWildCreaturesAndTakesTeam50000AsWild) {
  LoadWhileStarting(R"({"Max_Dino_Counts": {"Blueprint'/Game/Raptor.Raptor'": 1}})");
  auto request = PlaceOf(kRaptor);
  request.tamed = true;
  const auto tamed = devserver::Place(request).at(0);
  // Tamed into a low team: the tamed test alone keeps it out.
  request.team = 0;
  const auto tamed_low_team = devserver::Place(request).at(0);
  request.tamed = false;
  request.team = 50001;
  const auto team_50001 = devserver::Place(request).at(0);
  request.team = 50000;
  const auto team_50000 = devserver::Place(request).at(0);
  const auto wild = devserver::Place(PlaceOf(kRaptor)).at(0);
  EXPECT_EQ(SweepEvents(), (Events{TagEvent(team_50000, kCountedTag), TagEvent(wild, kIgnoreTag),
                                   DestroyedEvent(wild)}));
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, 1}}));
  EXPECT_TRUE(devserver::FindCreature(tamed)->tags.empty());
  EXPECT_TRUE(devserver::FindCreature(tamed_low_team)->tags.empty());
  EXPECT_TRUE(devserver::FindCreature(team_50001)->tags.empty());
}

// The ignore mark is no reason to skip a creature: it is counted and marked like any other, and is
// never counted down. Null entries and actors of other classes in the query are passed over.
TEST_F(StartupSweepTest, CountsCreaturesWithTheIgnoreMarkAndPassesOverWhatIsNoCreature) {
  LoadWhileStarting(R"({"Max_Dino_Counts": {"Blueprint'/Game/Raptor.Raptor'": 1}})");
  const auto ignored = devserver::Place(PlaceOf(kRaptor)).at(0);
  AddTag(devserver::CreatureObject(ignored), kIgnoreTag);
  const auto surplus = devserver::Place(PlaceOf(kRaptor)).at(0);
  devserver::SetOddActorQuery(true);
  TakeEvents();
  EXPECT_EQ(SweepEvents(), (Events{TagEvent(ignored, kCountedTag), TagEvent(surplus, kIgnoreTag),
                                   DestroyedEvent(surplus)}));
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, 1}}));
  EXPECT_EQ(devserver::FindCreature(ignored)->tags,
            (std::vector<std::string>{kIgnoreTag, kCountedTag}));
  ASSERT_TRUE(devserver::Kill(ignored));
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, 1}}));
}

TEST_F(StartupSweepTest, LevelRuleDoesNotApplyToCreaturesThatExist) {
  LoadWhileStarting(R"({"DestroyDinosOverLevel": true, "MaxDinoLevel": 10})");
  const auto id = devserver::Place(PlaceOf(kRaptor, 50)).at(0);
  EXPECT_EQ(SweepEvents(), Events{TagEvent(id, kCountedTag)});
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, 1}}));
}

TEST_F(StartupSweepTest, ClearsWhatWasCountedBeforeAndAnEmptyWorldLeavesTheTableEmpty) {
  LoadWhileStarting("{}");
  SweepEvents();
  const auto id = devserver::Spawn(SpawnOf(kRaptor)).at(0);
  ASSERT_TRUE(devserver::Destroy(id));
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, 0}}));
  EXPECT_EQ(SweepEvents({"hook refused ANPCZoneManager.SpawnNPC"}), Events{});
  EXPECT_EQ(DinoCountEntries(), CountEntries{});
}

// Loading the plug-in again into the running world sweeps a world whose creatures already carry
// the plug-in's marks.
TEST_F(StartupSweepTest, SecondLoadMarksKeptCreaturesTwiceAndDestroysSurplusUncounted) {
  WriteConfig("{}");
  StartServer(true);
  const auto ids = devserver::Place(PlaceOf(kRaptor), 2);
  Attach();
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, 2}}));
  Detach();

  WriteConfig(R"({"Max_Dino_Counts": {"Blueprint'/Game/Raptor.Raptor'": 1}})");
  TakeEvents();
  Attach();
  Events sweep;
  for (const auto& event : TakeEvents()) {
    if (event.rfind("tag ", 0) == 0 || event.rfind("destroyed ", 0) == 0) sweep.push_back(event);
  }
  EXPECT_EQ(sweep, (Events{TagEvent(ids[0], kCountedTag), TagEvent(ids[1], kIgnoreTag),
                           DestroyedEvent(ids[1])}));
  // The destroyed one carried the counted mark from the first load, but its removal is not
  // counted down.
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, 1}}));
  EXPECT_EQ(devserver::FindCreature(ids[0])->tags,
            (std::vector<std::string>{kCountedTag, kCountedTag}));
  ASSERT_TRUE(devserver::Kill(ids[0]));
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, 0}}));
}

}  // namespace
