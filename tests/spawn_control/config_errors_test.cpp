// A configuration value of the wrong type, met inside the gate or the sweep: the creature is kept
// and counted, each distinct problem is logged once until the next successful reload, and nothing
// reaches the game.

#include "tests/support/plugin_test.h"
#include "tests/support/world_events.h"

namespace {

std::string Problem(std::string_view message) {
  return "error: Unusable value in config.json, creatures are kept and counted: " +
         std::string(message);
}

const std::string kLimitIsText =
    Problem("[json.exception.type_error.302] type must be number, but is string");
const std::string kLimitsAreArray =
    Problem("[json.exception.type_error.306] cannot use value() with array");
const std::string kRuleIsNumber =
    Problem("[json.exception.type_error.302] type must be boolean, but is number");

using ConfigErrorsTest = PluginTest;

TEST_F(ConfigErrorsTest, GateKeepsAndCountsAndLogsEachProblemOnceUntilTheNextReload) {
  WriteConfig(R"({"Max_Dino_Counts": {"Blueprint'/Game/Raptor.Raptor'": "10"},
                  "DestroyDinosOverLevel": 1})");
  StartServer(true);
  Attach();
  TakeEvents();
  const auto raptors = devserver::Spawn(SpawnOf(kRaptor), 2);
  const auto dodo = devserver::Spawn(SpawnOf(kDodo)).at(0);
  EXPECT_EQ(TakeEvents(),
            (Events{SpawnedEvent(raptors[0], kRaptor, 1), TagEvent(raptors[0], kCountedTag),
                    SpawnedEvent(raptors[1], kRaptor, 1), TagEvent(raptors[1], kCountedTag),
                    SpawnedEvent(dodo, kDodo, 1), TagEvent(dodo, kCountedTag)}));
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kDodoKey, 1}, {kRaptorKey, 2}}));
  EXPECT_EQ(PluginLogLines(), (Events{kLimitIsText, kRuleIsNumber}));

  // Deaths are unaffected by the bad values.
  ASSERT_TRUE(devserver::Kill(raptors[0]));
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kDodoKey, 1}, {kRaptorKey, 1}}));

  // A successful reload of the same file reports the problems afresh.
  devserver::ConsoleCommand("kvar.reload");
  devserver::Spawn(SpawnOf(kRaptor));
  EXPECT_EQ(PluginLogLines(), (Events{kLimitIsText, kRuleIsNumber, kLimitIsText, kRuleIsNumber}));
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kDodoKey, 1}, {kRaptorKey, 2}}));
  EXPECT_EQ(devserver::PendingTimerTasks(), 0u);
}

TEST_F(ConfigErrorsTest, SweepKeepsAndCountsEveryCreatureWhenTheLimitsAreNoObject) {
  WriteConfig(R"({"Max_Dino_Counts": [1, 2]})");
  StartServer(true);
  const auto ids = devserver::Place(PlaceOf(kRaptor), 2);
  TakeEvents();
  Attach();
  Events sweep;
  for (const auto& event : TakeEvents()) {
    if (event.rfind("tag ", 0) == 0 || event.rfind("destroyed ", 0) == 0) sweep.push_back(event);
  }
  EXPECT_EQ(sweep, (Events{TagEvent(ids[0], kCountedTag), TagEvent(ids[1], kCountedTag)}));
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, 2}}));
  EXPECT_EQ(PluginLogLines(), Events{kLimitsAreArray});
}

}  // namespace
