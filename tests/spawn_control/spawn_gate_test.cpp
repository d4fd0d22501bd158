// The spawn gate, driven through the stand-in's spawn zones with the plug-in loaded into a running
// world (so the gate is open from the start).

#include "tests/support/plugin_test.h"
#include "tests/support/world_events.h"

namespace {

class SpawnGateTest : public PluginTest {
 protected:
  void LoadActive(std::string_view config_text) {
    WriteConfig(config_text);
    StartServer(true);
    Attach();
    TakeEvents();
  }

  // Runs the deferred removals: nothing happens before the delay of 5 seconds.
  Events PassRemovalDelay() {
    devserver::Advance(4.5);
    EXPECT_EQ(TakeEvents(), Events{});
    devserver::Advance(0.5);
    return TakeEvents();
  }
};

TEST_F(SpawnGateTest, LimitTwoKeepsTwoAndRemovesTheThirdAfterTheDelayWithoutCountingIt) {
  LoadActive(R"({"Max_Dino_Counts": {"Blueprint'/Game/Raptor.Raptor'": 2}})");
  const auto ids = devserver::Spawn(SpawnOf(kRaptor, 10), 3);
  ASSERT_EQ(ids.size(), 3u);
  EXPECT_EQ(TakeEvents(), (Events{SpawnedEvent(ids[0], kRaptor, 10), TagEvent(ids[0], kCountedTag),
                                  SpawnedEvent(ids[1], kRaptor, 10), TagEvent(ids[1], kCountedTag),
                                  SpawnedEvent(ids[2], kRaptor, 10), "timer queued 5"}));
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, 2}}));

  EXPECT_EQ(PassRemovalDelay(),
            (Events{"timer ran", TagEvent(ids[2], kIgnoreTag), DestroyedEvent(ids[2])}));
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, 2}}));
  EXPECT_EQ(devserver::Census(), (std::map<std::string, int>{{kRaptorKey, 2}}));
}

TEST_F(SpawnGateTest, LimitZeroRejectsEverySpawnAndStillListsTheClass) {
  LoadActive(R"({"Max_Dino_Counts": {"Blueprint'/Game/Raptor.Raptor'": 0}})");
  const auto ids = devserver::Spawn(SpawnOf(kRaptor, 3), 2);
  ASSERT_EQ(ids.size(), 2u);
  EXPECT_EQ(TakeEvents(), (Events{SpawnedEvent(ids[0], kRaptor, 3), "timer queued 5",
                                  SpawnedEvent(ids[1], kRaptor, 3), "timer queued 5"}));
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, 0}}));
  EXPECT_EQ(PassRemovalDelay(),
            (Events{"timer ran", TagEvent(ids[0], kIgnoreTag), DestroyedEvent(ids[0]), "timer ran",
                    TagEvent(ids[1], kIgnoreTag), DestroyedEvent(ids[1])}));
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, 0}}));
}

TEST_F(SpawnGateTest, ClassesWithoutALimitOrWithMinusOneAreAlwaysCounted) {
  LoadActive(R"({"Max_Dino_Counts": {"Blueprint'/Game/Dodo.Dodo'": -1}})");
  devserver::Spawn(SpawnOf(kRaptor), 3);
  devserver::Spawn(SpawnOf(kDodo), 2);
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kDodoKey, 2}, {kRaptorKey, 3}}));
  EXPECT_EQ(devserver::PendingTimerTasks(), 0u);
}

// A limit belongs to the class whose whole key is its name, units after a zero unit included.
TEST_F(SpawnGateTest, LimitAppliesOnlyToTheWholeKeyZeroUnitsIncluded) {
  LoadActive(R"({"Max_Dino_Counts": {"Blueprint'/Game/A": 0, "Blueprint'/Game/C.C\u0000x'": 0}})");
  using namespace std::string_literals;
  const std::string kept = "/Game/A\0B.B_C"s, removed = "/Game/C.C\0x_C"s;
  const auto kept_ids = devserver::Spawn(SpawnOf(kept), 2);
  const auto removed_ids = devserver::Spawn(SpawnOf(removed), 2);
  ASSERT_EQ(kept_ids.size() + removed_ids.size(), 4u);
  EXPECT_EQ(TakeEvents(),
            (Events{SpawnedEvent(kept_ids[0], kept, 1), TagEvent(kept_ids[0], kCountedTag),
                    SpawnedEvent(kept_ids[1], kept, 1), TagEvent(kept_ids[1], kCountedTag),
                    SpawnedEvent(removed_ids[0], removed, 1), "timer queued 5",
                    SpawnedEvent(removed_ids[1], removed, 1), "timer queued 5"}));
  EXPECT_EQ(DinoCountEntries(),
            (CountEntries{{"Blueprint'/Game/A\0B.B'"s, 2}, {"Blueprint'/Game/C.C\0x'"s, 0}}));
  EXPECT_EQ(
      PassRemovalDelay(),
      (Events{"timer ran", TagEvent(removed_ids[0], kIgnoreTag), DestroyedEvent(removed_ids[0]),
              "timer ran", TagEvent(removed_ids[1], kIgnoreTag), DestroyedEvent(removed_ids[1])}));
  EXPECT_EQ(devserver::Census(), (std::map<std::string, int>{{"Blueprint'/Game/A\0B.B'"s, 2}}));
}

TEST_F(SpawnGateTest, LevelRuleRejectsAtAndAboveMaxDinoLevelOnly) {
  LoadActive(R"({"DestroyDinosOverLevel": true, "MaxDinoLevel": 150})");
  const auto below = devserver::Spawn(SpawnOf(kRaptor, 149)).at(0);
  const auto at = devserver::Spawn(SpawnOf(kRaptor, 150)).at(0);
  const auto above = devserver::Spawn(SpawnOf(kRaptor, 151)).at(0);
  EXPECT_EQ(TakeEvents(), (Events{SpawnedEvent(below, kRaptor, 149), TagEvent(below, kCountedTag),
                                  SpawnedEvent(at, kRaptor, 150), "timer queued 5",
                                  SpawnedEvent(above, kRaptor, 151), "timer queued 5"}));
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, 1}}));
  EXPECT_EQ(PassRemovalDelay(),
            (Events{"timer ran", TagEvent(at, kIgnoreTag), DestroyedEvent(at), "timer ran",
                    TagEvent(above, kIgnoreTag), DestroyedEvent(above)}));
}

TEST_F(SpawnGateTest, LevelDoesNotMatterWithTheRuleOff) {
  LoadActive(R"({"DestroyDinosOverLevel": false, "MaxDinoLevel": 150})");
  devserver::Spawn(SpawnOf(kRaptor, 150));
  devserver::Spawn(SpawnOf(kRaptor, 2000));
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, 2}}));
  EXPECT_EQ(devserver::PendingTimerTasks(), 0u);
}

TEST_F(SpawnGateTest, CreatureWithoutStatusComponentIsAcceptedWithoutLevelCheck) {
  // With the maximum level 0 every creature that has a level is too high.
  LoadActive(R"({"DestroyDinosOverLevel": true, "MaxDinoLevel": 0})");
  const auto id = devserver::Spawn(SpawnOf(kRaptor, std::nullopt)).at(0);
  EXPECT_EQ(devserver::FindCreature(id)->tags, std::vector<std::string>{kCountedTag});
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, 1}}));
  EXPECT_EQ(devserver::PendingTimerTasks(), 0u);
}

TEST_F(SpawnGateTest, RejectedCreatureDestroyedBeforeTheDelayLeavesTheTaskNothingToDo) {
  LoadActive(R"({"Max_Dino_Counts": {"Blueprint'/Game/Raptor.Raptor'": 0}})");
  const auto id = devserver::Spawn(SpawnOf(kRaptor)).at(0);
  ASSERT_TRUE(devserver::Destroy(id));
  TakeEvents();
  EXPECT_EQ(PassRemovalDelay(), Events{"timer ran"});
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, 0}}));
}

TEST_F(SpawnGateTest, RejectedCreatureKilledBeforeTheDelayHasItsBodyRemovedUncounted) {
  LoadActive(R"({"Max_Dino_Counts": {"Blueprint'/Game/Raptor.Raptor'": 0}})");
  const auto id = devserver::Spawn(SpawnOf(kRaptor)).at(0);
  TakeEvents();
  ASSERT_TRUE(devserver::Kill(id));
  EXPECT_EQ(TakeEvents(), Events{DiedEvent(id)});
  EXPECT_EQ(PassRemovalDelay(),
            (Events{"timer ran", TagEvent(id, kIgnoreTag), DestroyedEvent(id)}));
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, 0}}));
}

TEST_F(SpawnGateTest, FailedSpawnOrNullClassPassesThroughUntouched) {
  LoadActive(R"({"Max_Dino_Counts": {"Blueprint'/Game/Raptor.Raptor'": 0}})");
  auto failing = SpawnOf(kRaptor);
  failing.fail = true;
  EXPECT_TRUE(devserver::Spawn(failing).empty());
  EXPECT_EQ(TakeEvents(), Events{"spawn failed /Game/Raptor.Raptor_C"});
  auto classless = SpawnOf(kRaptor);
  classless.null_class = true;
  EXPECT_TRUE(devserver::Spawn(classless).empty());
  EXPECT_EQ(TakeEvents(), Events{"spawn failed null class"});
  // Nothing was counted, not even the room test's empty entry.
  EXPECT_EQ(DinoCountEntries(), CountEntries{});
  EXPECT_EQ(devserver::PendingTimerTasks(), 0u);
}

TEST_F(SpawnGateTest, CountsUnderTheRequestedClassAndCountsDownUnderTheCreaturesOwn) {
  LoadActive(R"({"Max_Dino_Counts": {"Blueprint'/Game/Raptor.Raptor'": 1}})");
  auto mismatched = SpawnOf(kRaptor);
  mismatched.made_reference = kDodo;
  const auto id = devserver::Spawn(mismatched).at(0);
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, 1}}));
  // The requested class is full now, whatever was made.
  devserver::Spawn(mismatched);
  EXPECT_EQ(devserver::PendingTimerTasks(), 1u);
  ASSERT_TRUE(devserver::Kill(id));
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kDodoKey, 0}, {kRaptorKey, 1}}));
}

// The level rule judges new spawns only: creatures that were let in before it was switched on stay.
TEST_F(SpawnGateTest, ReloadThatSwitchesTheLevelRuleOnLeavesExistingCreaturesAlone) {
  LoadActive("{}");
  const auto ids = devserver::Spawn(SpawnOf(kRaptor, 200), 2);
  WriteConfig(R"({"DestroyDinosOverLevel": true, "MaxDinoLevel": 150})");
  devserver::ConsoleCommand("kvar.reload");
  TakeEvents();
  devserver::Advance(60);
  EXPECT_EQ(TakeEvents(), Events{});
  EXPECT_EQ(devserver::Census(), (std::map<std::string, int>{{kRaptorKey, 2}}));
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, 2}}));
  const auto late = devserver::Spawn(SpawnOf(kRaptor, 200)).at(0);
  EXPECT_EQ(TakeEvents(), (Events{SpawnedEvent(late, kRaptor, 200), "timer queued 5"}));
  EXPECT_EQ(devserver::FindCreature(ids[1])->state, devserver::CreatureState::Alive);
}

}  // namespace
