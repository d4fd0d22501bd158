#include "tests/support/plugin_test.h"

#include <fstream>
#include <random>

#include "config/config.h"
#include "config/config_problems.h"
#include "host/text.h"
#include "plugin/entry_point.h"
#include "plugin/plugin.h"
#include "spawn_control/dino_counts.h"

namespace {

std::filesystem::path FreshDirectory() {
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::random_device random;
  const std::string name = std::string("kestrovar-") + test->test_suite_name() + "-" +
                           test->name() + "-" + std::to_string(random());
  std::filesystem::path dir = std::filesystem::temp_directory_path() / name;
  std::filesystem::create_directories(dir / "ArkApi" / "Plugins" / "Kestrovar");
  return dir;
}

}  // namespace

void ResetPluginState() {
  ClearDinoCounts();
  ReplaceConfig(nullptr);
  ForgetConfigProblems();
  PluginLogger.reset();
}

CountEntries DinoCountEntries() {
  CountEntries entries;
  for (const auto& [key, count] : DinoCounts) entries.emplace_back(ToUtf8(key), count);
  return entries;
}

void PluginTest::SetUp() {
  server_dir_ = FreshDirectory();
  StartServer(false);
}

void PluginTest::TearDown() {
  Detach();
  ResetPluginState();
  const std::vector<std::string> faults = devserver::Faults();
  EXPECT_TRUE(faults.empty()) << "the stand-in recorded faults:\n"
                              << ::testing::PrintToString(faults);
  devserver::StopServer();
  std::error_code ignored;
  std::filesystem::remove_all(server_dir_, ignored);
}

void PluginTest::StartServer(bool world_ready) {
  devserver::ServerOptions options;
  options.server_dir = server_dir_.string();
  options.world_ready = world_ready;
  options.log_to_stdout = false;
  devserver::StartServer(options);
  devserver::SetOutput([](std::string_view) {});
}

std::filesystem::path PluginTest::PluginDir() const {
  return server_dir_ / "ArkApi" / "Plugins" / "Kestrovar";
}

void PluginTest::WriteConfig(std::string_view text) {
  std::ofstream file(PluginDir() / "config.json", std::ios::binary | std::ios::trunc);
  file << text;
}

void PluginTest::RemoveConfig() { std::filesystem::remove(PluginDir() / "config.json"); }

void PluginTest::Attach() { OnLibraryAttach(); }

void PluginTest::Detach() { OnLibraryDetach(); }

std::vector<std::string> PluginTest::TakeEvents() {
  std::vector<std::string> events = devserver::Events();
  devserver::ClearEvents();
  return events;
}

std::vector<std::string> PluginTest::PluginLogLines() {
  std::vector<std::string> lines;
  for (const devserver::LogEntry& entry : devserver::LogEntries()) {
    if (entry.logger == "Kestrovar") lines.push_back(entry.level + ": " + entry.message);
  }
  return lines;
}
