// Load, Unload and the game mode's initialisation, with the plug-in's code in this program and the
// entry point's load and unload called by the fixture.

#include <spdlog/logger.h>

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>

#include "config/config.h"
#include "plugin/plugin.h"
#include "tests/support/plugin_test.h"
#include "tests/support/world_events.h"

namespace {

const Events kLoadRegistrations = {
    "hook set AShooterGameMode.InitGame",
    "hook set APrimalDinoCharacter.Die",
    "hook set APrimalDinoCharacter.Destroyed",
    "hook set UShooterCheatManager.DestroyWildDinos",
    "console added kvar.dumpdinos",
    "rcon added kvar.dumpdinos",
    "rcon added kvar.reload",
    "console added kvar.reload",
};

const Events kUnloadRemovals = {
    "hook removed ANPCZoneManager.SpawnNPC",
    "hook removed AShooterGameMode.InitGame",
    "hook removed APrimalDinoCharacter.Die",
    "hook removed APrimalDinoCharacter.Destroyed",
    "hook removed UShooterCheatManager.DestroyWildDinos",
    "console removed kvar.dumpdinos",
    "rcon removed kvar.dumpdinos",
    "rcon removed kvar.reload",
    "console removed kvar.reload",
};

Events Concat(Events first, const Events& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

std::vector<std::string> SortedHooks() {
  std::vector<std::string> hooks = devserver::InstalledHooks();
  std::sort(hooks.begin(), hooks.end());
  return hooks;
}

const std::vector<std::string> kLoadHooks = {
    "APrimalDinoCharacter.Destroyed", "APrimalDinoCharacter.Die", "AShooterGameMode.InitGame",
    "UShooterCheatManager.DestroyWildDinos"};
const std::vector<std::string> kActiveHooks = {
    "ANPCZoneManager.SpawnNPC", "APrimalDinoCharacter.Destroyed", "APrimalDinoCharacter.Die",
    "AShooterGameMode.InitGame", "UShooterCheatManager.DestroyWildDinos"};

using SpineTest = PluginTest;

TEST_F(SpineTest, LoadedWhileStartingSweepsAndOpensTheGateAfterEveryInitialisation) {
  WriteConfig("{}");
  const auto placed = devserver::Place(PlaceOf(kRaptor)).at(0);
  TakeEvents();
  Attach();
  EXPECT_EQ(TakeEvents(), kLoadRegistrations);
  EXPECT_EQ(SortedHooks(), kLoadHooks);

  // Before the world is up, spawns are neither counted nor limited.
  const auto early = devserver::Spawn(SpawnOf(kRaptor)).at(0);
  EXPECT_EQ(TakeEvents(), Events{SpawnedEvent(early, kRaptor, 1)});
  EXPECT_EQ(DinoCountEntries(), CountEntries{});

  devserver::InitGame();
  EXPECT_EQ(TakeEvents(),
            (Events{"init game", TagEvent(placed, kCountedTag), TagEvent(early, kCountedTag),
                    "hook set ANPCZoneManager.SpawnNPC", "status 1"}));
  EXPECT_EQ(SortedHooks(), kActiveHooks);
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, 2}}));

  // Every initialisation sweeps again and asks for the gate again; the host refuses the second.
  devserver::InitGame();
  EXPECT_EQ(TakeEvents(),
            (Events{"init game", TagEvent(placed, kCountedTag), TagEvent(early, kCountedTag),
                    "hook refused ANPCZoneManager.SpawnNPC"}));
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, 2}}));

  // The gate is in the chain once: a spawn is counted once.
  const auto late = devserver::Spawn(SpawnOf(kRaptor)).at(0);
  EXPECT_EQ(TakeEvents(), (Events{SpawnedEvent(late, kRaptor, 1), TagEvent(late, kCountedTag)}));
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, 3}}));
}

TEST_F(SpineTest, LoadedIntoARunningWorldSweepsAndOpensTheGateAfterTheCommands) {
  WriteConfig(R"({"Max_Dino_Counts": {"Blueprint'/Game/Raptor.Raptor'": 1}})");
  StartServer(true);
  const auto ids = devserver::Place(PlaceOf(kRaptor), 2);
  TakeEvents();
  Attach();
  EXPECT_EQ(TakeEvents(), Concat(kLoadRegistrations,
                                 {TagEvent(ids[0], kCountedTag), TagEvent(ids[1], kIgnoreTag),
                                  DestroyedEvent(ids[1]), "hook set ANPCZoneManager.SpawnNPC"}));
  EXPECT_EQ(SortedHooks(), kActiveHooks);
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, 1}}));

  // The game mode's initialisation detour is installed too and does its part again.
  devserver::InitGame();
  EXPECT_EQ(TakeEvents(), (Events{"init game", TagEvent(ids[0], kCountedTag),
                                  "hook refused ANPCZoneManager.SpawnNPC"}));
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, 1}}));
}

TEST_F(SpineTest, UnloadRemovesTheGateFirstThenTheDetoursThenTheCommands) {
  WriteConfig("{}");
  StartServer(true);
  Attach();
  TakeEvents();
  Detach();
  EXPECT_EQ(TakeEvents(), kUnloadRemovals);
  EXPECT_EQ(devserver::InstalledHooks(), std::vector<std::string>{});
}

TEST_F(SpineTest, UnloadAsksToRemoveTheGateEvenWhenItWasNeverSet) {
  WriteConfig("{}");
  Attach();
  TakeEvents();
  Detach();
  Events expected = kUnloadRemovals;
  expected[0] = "hook absent ANPCZoneManager.SpawnNPC";
  EXPECT_EQ(TakeEvents(), expected);
  EXPECT_EQ(devserver::InstalledHooks(), std::vector<std::string>{});
}

TEST_F(SpineTest, StateSurvivesUnloadUntilTheLibraryIsReleased) {
  WriteConfig(R"({"MaxDinoLevel": 7})");
  StartServer(true);
  Attach();
  const auto ids = devserver::Spawn(SpawnOf(kRaptor), 2);
  Detach();
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, 2}}));
  EXPECT_EQ(config, nlohmann::json::parse(R"({"MaxDinoLevel": 7})"));
  EXPECT_NE(PluginLogger, nullptr);

  // Unloaded, the plug-in sees nothing of the world any more.
  TakeEvents();
  const auto after = devserver::Spawn(SpawnOf(kRaptor)).at(0);
  ASSERT_TRUE(devserver::Kill(ids[0]));
  EXPECT_EQ(TakeEvents(), (Events{SpawnedEvent(after, kRaptor, 1), DiedEvent(ids[0])}));
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, 2}}));

  const int64_t held = devserver::Memory().unowned_blocks;
  ResetPluginState();
  EXPECT_EQ(devserver::Memory().unowned_blocks, held - 1);  // the one key
}

TEST_F(SpineTest, WithoutAConfigurationNothingIsRegistered) {
  RemoveConfig();
  StartServer(true);
  devserver::Place(PlaceOf(kRaptor));
  TakeEvents();
  Attach();
  EXPECT_EQ(TakeEvents(), Events{});
  EXPECT_EQ(devserver::InstalledHooks(), std::vector<std::string>{});
  EXPECT_EQ(DinoCountEntries(), CountEntries{});
  EXPECT_NE(PluginLogger, nullptr);
}

// The host fails to say whether the world is up after every registration succeeded: the load is
// taken back whole, in the unload's order, and the log says what failed.
TEST_F(SpineTest, AFailedStatusCallTakesBackEveryRegistrationInTheUnloadsOrder) {
  WriteConfig("{}");
  StartServer(true);
  TakeEvents();
  devserver::FailHostOperations({"IApiUtils::GetStatus"});
  Attach();
  const Events removals(kUnloadRemovals.begin() + 1, kUnloadRemovals.end());  // no gate yet
  EXPECT_EQ(TakeEvents(), Concat(kLoadRegistrations, removals));
  EXPECT_EQ(devserver::InstalledHooks(), std::vector<std::string>{});
  EXPECT_EQ(PluginLogLines(),
            Events{"critical: Failed to ask the host whether the world is up! What was registered "
                   "is taken back. \n IApiUtils::GetStatus failed in the host"});
  devserver::FailHostOperations({});
}

// A take-back that fails leaves the other take-backs to run, is logged, and the closing line does
// not claim that all was taken back; the unload then takes back what is left.
TEST_F(SpineTest, ATakeBackThatFailsIsLoggedAndTheRestIsStillTakenBack) {
  WriteConfig("{}");
  StartServer(true);
  TakeEvents();
  devserver::FailHostOperations({"IApiUtils::GetStatus", "IHooks::DisableHook"});
  Attach();
  const Events command_removals(kUnloadRemovals.end() - 4, kUnloadRemovals.end());
  EXPECT_EQ(TakeEvents(), Concat(kLoadRegistrations, command_removals));
  EXPECT_EQ(SortedHooks(), kLoadHooks);
  const std::string failed_hook =
      "critical: Failed to take back a registration! \n IHooks::DisableHook failed in the host";
  EXPECT_EQ(PluginLogLines(),
            (Events{failed_hook, failed_hook, failed_hook, failed_hook,
                    "critical: Failed to ask the host whether the world is up! Not all that was "
                    "registered could be taken back (see above); the plug-in's unload tries "
                    "again. \n IApiUtils::GetStatus failed in the host"}));
  devserver::FailHostOperations({});
  Detach();
  EXPECT_EQ(devserver::InstalledHooks(), std::vector<std::string>{});
}

// Unload gives each host sink a formatter of the host's own: a line logged after it reads as the
// lines before it did.
TEST_F(SpineTest, LogLinesAfterUnloadReadAsBefore) {
  WriteConfig("{}");
  StartServer(true);
  Attach();
  PluginLogger->warn("before the unload");
  Detach();
  PluginLogger->warn("after the unload");
  PluginLogger->flush();
  std::ifstream log(server_dir_ / "logs" / "server.log");
  std::vector<std::string> ours;
  for (std::string line; std::getline(log, line);) {
    if (line.find("the unload") != std::string::npos) ours.push_back(line);
  }
  ASSERT_EQ(ours.size(), 2u);
  const std::regex form(
      R"(\d\d/\d\d/\d\d \d\d:\d\d \[Kestrovar\]\[warning\] (before|after) the unload)");
  for (const std::string& line : ours) EXPECT_TRUE(std::regex_match(line, form)) << line;
}

}  // namespace
