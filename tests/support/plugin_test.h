#pragma once

// A fixture for tests that call the plug-in's code directly, with the stand-in server running in a
// fresh directory of its own. The plug-in's module state is shared by the whole test program, so
// every test starts and ends with it as a freshly attached library has it.

#include <gtest/gtest.h>

#include <cstdint>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "devserver/control/server.h"

class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Restarts the stand-in with the world already running (status 1) or still starting.
  void StartServer(bool world_ready);

  // The plug-in's folder under the server directory, and its config.json.
  std::filesystem::path PluginDir() const;
  void WriteConfig(std::string_view text);
  void RemoveConfig();

  // Load and Unload as the entry point runs them (Load's failure caught as there).
  void Attach();
  void Detach();

  // The events since the last call, then forgets them.
  std::vector<std::string> TakeEvents();
  // Log lines of the plug-in's logger: "level: message".
  std::vector<std::string> PluginLogLines();

  std::filesystem::path server_dir_;
};

// Resets the plug-in's module state to what a freshly attached library has.
void ResetPluginState();

// The count table in its iteration order, keys in UTF-8.
using CountEntries = std::vector<std::pair<std::string, uint32_t>>;
CountEntries DinoCountEntries();

// The message of the standard exception that `work` raises; empty when it raises none.
template <typename Work>
std::string ErrorOf(Work&& work) {
  try {
    work();
  } catch (const std::exception& error) {
    return error.what();
  }
  return {};
}
