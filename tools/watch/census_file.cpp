#include "tools/watch/census_file.h"

#include <optional>
#include <system_error>

#include "admin/dump_time_stamp.h"
#include "tools/common/files.h"

std::string DumpFileName(std::time_t when) { return "DinoDumpLog_" + DumpTimeStamp(when) + ".txt"; }

bool StoreDump(const std::filesystem::path& file, std::string_view text) {
  std::error_code error;
  if (std::filesystem::exists(std::filesystem::symlink_status(file, error))) return false;
#if defined(_WIN32)
  // The plug-in writes through a text-mode stream: on Windows each line feed becomes CR LF.
  std::string file_text;
  file_text.reserve(text.size() + text.size() / 32);
  for (const char c : text) {
    if (c == '\n') file_text += '\r';
    file_text += c;
  }
  WriteWholeFile(file, file_text);
#else
  WriteWholeFile(file, text);
#endif
  return true;
}

std::optional<std::string> StoreCensus(const std::filesystem::path& dir, std::time_t when,
                                       std::string_view text, int& later) {
  // An hour covers the local times that come again when the clocks go back.
  constexpr int kLatest = 3600;
  for (later = 0; later <= kLatest; ++later) {
    const std::string name = DumpFileName(when + later);
    if (StoreDump(dir / name, text)) return name;
  }
  return std::nullopt;
}
