// The real plug-in library, built beside this program, loaded and released by the stand-in host as
// the server would: entry point, detours, commands, timer tasks and what the release leaves behind.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "devserver/control/server.h"
#include "tests/support/world_events.h"

namespace {

class PluginLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    server_dir_ =
        std::filesystem::temp_directory_path() / ("kestrovar-library-" + std::to_string(random()));
    std::filesystem::create_directories(server_dir_ / "ArkApi" / "Plugins" / "Kestrovar");
    devserver::ServerOptions options;
    options.server_dir = server_dir_.string();
    options.log_to_stdout = false;
    devserver::StartServer(options);
    devserver::SetOutput([](std::string_view) {});
  }

  void TearDown() override {
    devserver::StopServer();
    std::error_code ignored;
    std::filesystem::remove_all(server_dir_, ignored);
  }

  void WriteConfig(std::string_view text) {
    std::ofstream(server_dir_ / "ArkApi" / "Plugins" / "Kestrovar" / "config.json") << text;
  }

  void LoadLibrary() {
    const std::filesystem::path library =
        std::filesystem::path(devserver::ProgramDirectory()) / KESTROVAR_PLUGIN_FILE;
    ASSERT_EQ(devserver::LoadPlugin(library.string()), "");
    ASSERT_TRUE(devserver::PluginLoaded());
  }

  // The dump over RCON: the plug-in's counts as seen from outside.
  std::string DumpOverRcon() {
    devserver::ClearEvents();
    const int32_t id = devserver::RconCommand("kvar.dumpdinos");
    const std::string prefix = "rcon id=" + std::to_string(id) + " type=0 ";
    const auto events = devserver::Events();
    EXPECT_EQ(events.size(), 1u);
    if (events.empty() || events[0].rfind(prefix, 0) != 0) return "(no reply)";
    return events[0].substr(prefix.size());
  }

  std::filesystem::path server_dir_;
};

TEST_F(PluginLibraryTest, HoldsTheLimitsFromLoadToReleaseAndLeavesNothingBehind) {
  WriteConfig(R"({"Max_Dino_Counts": {"Blueprint'/Game/Raptor.Raptor'": 2}})");
  const auto placed = devserver::Place(PlaceOf(kRaptor), 3);
  LoadLibrary();
  devserver::ClearEvents();

  devserver::InitGame();
  EXPECT_EQ(devserver::Census(), (std::map<std::string, int>{{kRaptorKey, 2}}));
  EXPECT_EQ(devserver::FindCreature(placed[2])->state, devserver::CreatureState::Removed);

  // Thread notifications reach the library's entry point on Windows; they change nothing.
  devserver::ClearEvents();
  std::thread([] {}).join();
  EXPECT_EQ(devserver::Events(), Events{});

  const auto refused = devserver::Spawn(SpawnOf(kRaptor)).at(0);
  ASSERT_TRUE(devserver::Kill(placed[0]));
  const auto admitted = devserver::Spawn(SpawnOf(kRaptor)).at(0);
  devserver::Advance(5);
  EXPECT_EQ(devserver::FindCreature(refused)->state, devserver::CreatureState::Removed);
  EXPECT_EQ(devserver::FindCreature(admitted)->tags, std::vector<std::string>{kCountedTag});
  EXPECT_EQ(devserver::Census(), (std::map<std::string, int>{{kRaptorKey, 2}}));
  EXPECT_EQ(DumpOverRcon(), "Blueprint'/Game/Raptor.Raptor'. Num: 2\n");

  // Released with a removal still pending: the task is dropped, the detours and commands go, and
  // the count table's keys go back to the engine.
  devserver::Spawn(SpawnOf(kRaptor));
  ASSERT_EQ(devserver::PendingTimerTasks(), 1u);
  devserver::UnloadPlugin();
  EXPECT_FALSE(devserver::PluginLoaded());
  EXPECT_EQ(devserver::PendingTimerTasks(), 0u);
  EXPECT_EQ(devserver::InstalledHooks(), std::vector<std::string>{});
  EXPECT_EQ(devserver::Memory().unowned_blocks, 0);
  EXPECT_EQ(devserver::Faults(), std::vector<std::string>{});
}

TEST_F(PluginLibraryTest, LoadedAgainIntoTheRunningWorldStartsFromAFreshState) {
  WriteConfig(R"({"Max_Dino_Counts": {"Blueprint'/Game/Raptor.Raptor'": 1}})");
  devserver::Place(PlaceOf(kRaptor), 2);
  LoadLibrary();
  devserver::InitGame();
  devserver::UnloadPlugin();

  WriteConfig("{}");
  devserver::Place(PlaceOf(kRaptor), 2);
  LoadLibrary();
  EXPECT_EQ(DumpOverRcon(), "Blueprint'/Game/Raptor.Raptor'. Num: 3\n");
  devserver::UnloadPlugin();
  EXPECT_EQ(devserver::Memory().unowned_blocks, 0);
  EXPECT_EQ(devserver::Faults(), std::vector<std::string>{});
}

}  // namespace
