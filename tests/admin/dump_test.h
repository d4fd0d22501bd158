#pragma once

// What the dump tests share: a table filled directly and the dump log folder read back.

#include <cstdint>
#include <ctime>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/support/plugin_test.h"

using Lines = std::vector<std::string>;

class DumpTest : public PluginTest {
 protected:
  // Loads the plug-in with this configuration; events and log so far are forgotten.
  void Start(std::string_view config_text);

  std::filesystem::path LogDir() const { return PluginDir() / "DinoDumpLogs"; }
  // The path the plug-in builds for its dump log folder, as it builds it.
  std::string LogDirAsBuilt() const;
  // Every regular file in the dump log folder, by name, with its bytes.
  std::map<std::string, std::string> DumpFiles() const;

  static std::string RconReply(int32_t id, const std::string& text) {
    return "rcon id=" + std::to_string(id) + " type=0 " + text;
  }
};

// Puts the class key into the table with this count.
void SetCount(std::u16string_view class_key, uint32_t count);
// The file name of a dump at this time.
std::string DumpFileName(std::time_t when);
// Whether the name is that of a dump between the two times.
bool IsDumpFileNameBetween(const std::string& name, std::time_t first, std::time_t last);
// The text as a text-mode stream stores it on this platform.
std::string AsStored(std::string_view text);
