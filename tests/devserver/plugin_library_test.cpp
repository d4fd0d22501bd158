// Loading and releasing a plug-in library, and what the stand-in finds it left behind.

#include <filesystem>
#include <fstream>

#include "tests/devserver/devserver_test.h"

namespace {

using Events = std::vector<std::string>;

std::string FakePluginPath() {
#if defined(_WIN32)
  const char* file = "FakePlugin.dll";
#else
  const char* file = "FakePlugin.so";
#endif
  return (std::filesystem::path(devserver::ProgramDirectory()) / file).string();
}

class PluginLibraryTest : public DevServerTest {
 protected:
  void Load(const char* mode) {
    std::ofstream(server_dir_ / "fake-plugin.txt") << mode;
    ASSERT_EQ(devserver::LoadPlugin(FakePluginPath()), "");
    ASSERT_TRUE(devserver::PluginLoaded());
  }
};

TEST_F(PluginLibraryTest, ATidyPlugInComesAndGoesWithoutATrace) {
  const auto id = PlaceOne(kStrider);
  TakeEvents();
  Load("tidy");
  EXPECT_EQ(TakeEvents(), (Events{"hook set APrimalDinoCharacter.Die", "console added fake.hello",
                                  "rcon added fake.hello", "timer queued 10", "plugin loaded"}));
  devserver::ConsoleCommand("FAKE.HELLO");
  devserver::RconCommand("fake.hello");
  devserver::Kill(id);
  EXPECT_EQ(TakeEvents(),
            (Events{"chat 1,1,1,1 hello from the fake plug-in", "rcon id=1 type=0 hello over RCON",
                    "died #1", "tag #1 FakeMark"}));
  EXPECT_EQ(devserver::PendingTimerTasks(), 1u);

  devserver::UnloadPlugin();
  EXPECT_FALSE(devserver::PluginLoaded());
  EXPECT_EQ(TakeEvents(),
            (Events{"timer dropped 1", "hook removed APrimalDinoCharacter.Die",
                    "console removed fake.hello", "rcon removed fake.hello", "plugin unloaded"}));
  EXPECT_EQ(devserver::PendingTimerTasks(), 0u);
  EXPECT_TRUE(TakeFaults().empty());
}

TEST_F(PluginLibraryTest, WhatAnUntidyPlugInLeavesIsReportedAndMadeHarmless) {
  Load("untidy");
  devserver::UnloadPlugin();
  EXPECT_EQ(TakeFaults(),
            (std::vector<std::string>{
                "a detour of APrimalDinoCharacter.Die was still installed after the plug-in's "
                "release",
                "console command fake.hello was still registered after the plug-in's release",
                "RCON command fake.hello was still registered after the plug-in's release",
                "engine memory still held after the plug-in's release: 1 block(s), 32 byte(s)"}));
  EXPECT_TRUE(devserver::InstalledHooks().empty());
  // The game goes on without the released code.
  TakeEvents();
  EXPECT_TRUE(devserver::Kill(PlaceOne(kStrider)));
  devserver::ConsoleCommand("fake.hello");
  EXPECT_EQ(TakeOutput(), std::vector<std::string>{"Unknown command: fake.hello"});
  // The block it kept is reported once; loading the library again works.
  Load("tidy");
  devserver::UnloadPlugin();
  EXPECT_TRUE(TakeFaults().empty());
  // The leaked block stays unowned until the process ends.
  unowned_blocks_at_start_ += 1;
}

TEST_F(PluginLibraryTest, LoadFailuresAreExplained) {
  const std::string missing = (server_dir_ / "Missing.so").string();
  const std::string error = devserver::LoadPlugin(missing);
  EXPECT_EQ(error.rfind("cannot load the plug-in " + missing + ": ", 0), 0u) << error;
  EXPECT_FALSE(devserver::PluginLoaded());
  // The stand-in's own host library loads, but its load asks nothing of the host: no plug-in.
#if defined(_WIN32)
  const char* host_file = "version.dll";
#else
  const char* host_file = "libversion.so";
#endif
  const std::string host =
      (std::filesystem::path(devserver::ProgramDirectory()) / host_file).string();
  EXPECT_EQ(devserver::LoadPlugin(host),
            host +
                " is not a plug-in: its load never called the host, so it has no plug-in entry "
                "point; give the Kestrovar library");
  EXPECT_FALSE(devserver::PluginLoaded());
  EXPECT_TRUE(TakeFaults().empty());
  Load("tidy");
  EXPECT_EQ(devserver::LoadPlugin(FakePluginPath()).rfind("a plug-in is already loaded: ", 0), 0u);
  devserver::StopServer();  // unloads it
  EXPECT_TRUE(TakeFaults().empty());
  Restart({});
}

}  // namespace
