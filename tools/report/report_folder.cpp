#include "tools/report/report_folder.h"

#include <fmt/format.h>

#include <map>
#include <sstream>
#include <system_error>
#include <vector>

#include "tools/common/files.h"
#include "tools/report/report_command.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kMarker = ".kestrovar-report";
constexpr const char* kMarkerHead =
    "Made by kestrovar report. It replaces only the files listed here, while each is as it wrote "
    "it: name, size, hash.\n";

uint64_t Hash(std::string_view text) {
  uint64_t hash = 1469598103934665603ULL;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ULL;
  }
  return hash;
}

struct Written {
  uint64_t size = 0;
  uint64_t hash = 0;
};

std::map<std::string, Written> ReadMarker(const fs::path& dir) {
  std::map<std::string, Written> listed;
  const std::optional<std::string> text = ReadWholeFile(dir / kMarker);
  if (!text) return listed;
  std::istringstream lines(*text);
  std::string line;
  std::getline(lines, line);
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string name;
    Written written;
    if (fields >> name >> written.size >> std::hex >> written.hash) listed[name] = written;
  }
  return listed;
}

void WriteMarker(const fs::path& dir, const std::map<std::string, Written>& listed) {
  std::string text = kMarkerHead;
  for (const auto& [name, written] : listed) {
    text += fmt::format("{} {} {:016x}\n", name, written.size, written.hash);
  }
  WriteWholeFile(dir / kMarker, text);
}

void List(const fs::path& dir, const std::string& name, std::string_view text) {
  std::map<std::string, Written> listed = ReadMarker(dir);
  listed[name] = Written{text.size(), Hash(text)};
  WriteMarker(dir, listed);
}

}  // namespace

void PrepareReportFolder(const fs::path& dir) {
  const std::string problem = FolderProblem(dir);
  std::error_code error;
  if (!problem.empty() && fs::exists(dir, error)) {
    throw FileError("--out " + dir.string() + ": " + problem);
  }
  fs::create_directories(dir);
  if (fs::exists(dir / kMarker, error) && !fs::is_regular_file(dir / kMarker, error)) {
    throw FileError("--out " + dir.string() + ": " + kMarker + " is not the report's marker file");
  }
  const std::map<std::string, Written> listed = ReadMarker(dir);
  std::vector<std::string> others;
  for (const char* name : kReportFiles) {
    const fs::path path = dir / name;
    if (!fs::exists(fs::symlink_status(path, error))) continue;
    const auto entry = listed.find(name);
    const std::optional<std::string> text =
        fs::is_symlink(fs::symlink_status(path, error)) ? std::nullopt : ReadWholeFile(path);
    if (entry == listed.end() || !text || text->size() != entry->second.size ||
        Hash(*text) != entry->second.hash) {
      others.push_back(std::string("\"") + name + "\"");
    }
  }
  if (others.empty()) return;
  std::string list;
  for (std::size_t i = 0; i < others.size(); ++i) {
    list += (i == 0 ? "" : i + 1 == others.size() ? " and " : ", ") + others[i];
  }
  throw FileError("--out " + dir.string() + ": it holds " + list +
                  ", which kestrovar report did not write or which was changed since; move " +
                  (others.size() == 1 ? "it" : "them") +
                  " away or give another folder. Nothing was written.");
}

void WriteReportFile(const fs::path& dir, const std::string& name, std::string_view text) {
  WriteWholeFile(dir / name, text);
  List(dir, name, text);
}

void RecordReportFile(const fs::path& dir, const std::string& name) {
  const std::string text = ReadFileOrThrow(dir / name, "chart");
  List(dir, name, text);
}
