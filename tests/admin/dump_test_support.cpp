#include <fstream>
#include <sstream>

#include "admin/dump_time_stamp.h"
#include "spawn_control/dino_counts.h"
#include "tests/admin/dump_test.h"

void DumpTest::Start(std::string_view config_text) {
  WriteConfig(config_text);
  Attach();
  TakeEvents();
  devserver::ClearLogEntries();
}

void SetCount(std::u16string_view class_key, uint32_t count) {
  FString key;
  key.AppendUnits(class_key);
  // Through the table's own operations, which keep its index.
  CountDown(key);
  while (DinoCounts.find(key)->second > 0) CountDown(key);
  for (uint32_t i = 0; i < count; ++i) CountUp(key);
}

std::string DumpTest::LogDirAsBuilt() const {
  return server_dir_.string() + "/ArkApi/Plugins/Kestrovar/DinoDumpLogs";
}

std::map<std::string, std::string> DumpTest::DumpFiles() const {
  std::map<std::string, std::string> files;
  std::error_code absent;
  for (const auto& entry : std::filesystem::directory_iterator(LogDir(), absent)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream file(entry.path(), std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    files[entry.path().filename().string()] = bytes.str();
  }
  return files;
}

std::string DumpFileName(std::time_t when) { return "DinoDumpLog_" + DumpTimeStamp(when) + ".txt"; }

bool IsDumpFileNameBetween(const std::string& name, std::time_t first, std::time_t last) {
  for (std::time_t when = first; when <= last; ++when) {
    if (name == DumpFileName(when)) return true;
  }
  return false;
}

std::string AsStored(std::string_view text) {
#if defined(_WIN32)
  std::string stored;
  for (const char c : text) {
    if (c == '\n') stored += '\r';
    stored += c;
  }
  return stored;
#else
  return std::string(text);
#endif
}
