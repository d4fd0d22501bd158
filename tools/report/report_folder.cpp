#include "tools/report/report_folder.h"

#include <fmt/format.h>

#include <map>
#include <optional>
#include <sstream>
#include <system_error>
#include <utility>
#include <vector>

#include "tools/common/files.h"
#include "tools/report/report_command.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kMarker = ".kestrovar-report";
constexpr const char* kMarkerHead =
    "Made by kestrovar report. It replaces only the files listed here, while each is as it wrote "
    "it: name, size, hash.\n";

constexpr uint64_t kHashStart = 1469598103934665603ULL;

uint64_t Hash(std::string_view text, uint64_t hash = kHashStart) {
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ULL;
  }
  return hash;
}

// A file's size and hash, read in blocks; empty when it cannot be read.
std::optional<std::pair<uint64_t, uint64_t>> SizeAndHash(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  uint64_t size = 0;
  uint64_t hash = kHashStart;
  char block[32768];
  while (true) {
    in.read(block, sizeof block);
    const auto got = static_cast<std::size_t>(in.gcount());
    hash = Hash(std::string_view(block, got), hash);
    size += got;
    if (!in || got == 0) break;
  }
  if (in.bad()) return std::nullopt;
  return std::make_pair(size, hash);
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

void List(const fs::path& dir, const std::string& name, uint64_t size, uint64_t hash) {
  std::map<std::string, Written> listed = ReadMarker(dir);
  listed[name] = Written{size, hash};
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
    const auto now =
        fs::is_symlink(fs::symlink_status(path, error)) ? std::nullopt : SizeAndHash(path);
    if (entry == listed.end() || !now || now->first != entry->second.size ||
        now->second != entry->second.hash) {
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
  List(dir, name, text.size(), Hash(text));
}

void RecordReportFile(const fs::path& dir, const std::string& name) {
  const auto written = SizeAndHash(dir / name);
  if (!written) throw FileError("cannot read the chart " + (dir / name).string());
  List(dir, name, written->first, written->second);
}

ReportFileWriter::ReportFileWriter(const fs::path& dir, std::string name)
    : dir_(dir), name_(std::move(name)), hash_(kHashStart) {
  // WriteWholeFile makes the file (or says in words why it cannot); the pieces follow.
  WriteWholeFile(dir_ / name_, "");
  out_.open(dir_ / name_, std::ios::binary | std::ios::trunc);
  if (!out_) throw FileError("cannot write " + (dir_ / name_).string());
}

void ReportFileWriter::Append(std::string_view text) {
  out_.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (!out_) throw FileError("cannot write " + (dir_ / name_).string() + ": the disk may be full");
  size_ += text.size();
  hash_ = Hash(text, hash_);
}

void ReportFileWriter::Finish() {
  out_.close();
  if (!out_) throw FileError("cannot write " + (dir_ / name_).string() + ": the disk may be full");
  List(dir_, name_, size_, hash_);
}
