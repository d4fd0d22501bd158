#include "tools/report/report_folder.h"

#include <fmt/format.h>

#include <algorithm>
#include <iterator>
#include <optional>
#include <sstream>
#include <system_error>
#include <utility>
#include <vector>

#include "tools/common/files.h"
#include "tools/common/own_files.h"
#include "tools/report/report_command.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kMarker = ".kestrovar-report";
constexpr const char* kMarkerHead =
    "Made by kestrovar report. It replaces only the files listed here, while each is as it wrote "
    "it.";
// The list of earlier versions: "NAME SIZE HASH" lines after this head.
constexpr std::string_view kOldMarkerHead =
    "Made by kestrovar report. It replaces only the files listed here, while each is as it wrote "
    "it: name, size, hash.\n";

// The report's files are directly in DIR, with names of its own.
bool IsReportFile(const std::string& name) {
  return std::find(std::begin(kReportFiles), std::end(kReportFiles), name) !=
         std::end(kReportFiles);
}

OwnList ReadMarker(const fs::path& dir) {
  ReadList read;
  try {
    read = ReadOwnList(dir, kMarker, kMarkerHead);
  } catch (const OwnFilesError& error) {
    throw FileError(std::string("--out ") + dir.string() + ": " + error.what());
  }
  if (read.present && !read.headed) {
    // An earlier version's list: its names are the report's own, or the line is left out.
    const std::optional<std::string> text = ReadWholeFile(dir / kMarker);
    if (text && text->starts_with(kOldMarkerHead)) {
      std::istringstream lines(text->substr(kOldMarkerHead.size()));
      std::string line;
      while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string name;
        WrittenFile written;
        if (fields >> name >> written.size >> std::hex >> written.hash && IsReportFile(name)) {
          read.list.files[name] = written;
        }
      }
    }
  }
  return read.list;
}

void List(const fs::path& dir, const std::string& name, const WrittenFile& written) {
  OwnList listed = ReadMarker(dir);
  listed.files[name] = written;
  WriteOwnList(dir, kMarker, kMarkerHead, listed);
}

}  // namespace

void PrepareReportFolder(const fs::path& dir, const std::map<std::string, WrittenFile>& known) {
  const std::string problem = FolderProblem(dir);
  std::error_code error;
  if (!problem.empty() && fs::exists(dir, error)) {
    throw FileError("--out " + dir.string() + ": " + problem);
  }
  fs::create_directories(dir, error);
  if (error)
    throw FileError("--out " + dir.string() + ": cannot make the folder: " + FileProblem(error));
  if (fs::exists(dir / kMarker, error) && !fs::is_regular_file(dir / kMarker, error)) {
    throw FileError("--out " + dir.string() + ": " + kMarker + " is not the report's marker file");
  }
  const OwnList listed = ReadMarker(dir);
  std::vector<std::string> others;
  for (const char* name : kReportFiles) {
    const fs::path path = dir / name;
    if (!fs::exists(fs::symlink_status(path, error))) continue;
    const auto entry = listed.files.find(name);
    const auto vouched = known.find(name);
    if (entry != listed.files.end() && vouched != known.end() && vouched->second == entry->second &&
        !LinkOnTheWay(dir, name)) {
      continue;
    }
    if (entry == listed.files.end() || !IsAsWritten(dir, name, entry->second)) {
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
  List(dir, name, FingerprintOf(text));
}

void RecordReportFile(const fs::path& dir, const std::string& name) {
  const auto written = FingerprintOfFile(dir / name);
  if (!written) throw FileError("cannot read the chart " + (dir / name).string());
  List(dir, name, *written);
}

ReportFileWriter::ReportFileWriter(const fs::path& dir, std::string name)
    : dir_(dir), name_(std::move(name)), hash_(kFingerprintStart) {
  // WriteWholeFile makes the file (or says in words why it cannot); the pieces follow.
  WriteWholeFile(dir_ / name_, "");
  out_.open(dir_ / name_, std::ios::binary | std::ios::trunc);
  if (!out_) throw FileError("cannot write " + (dir_ / name_).string());
}

ReportFileWriter::ReportFileWriter(const fs::path& dir, std::string name, const WrittenFile& so_far)
    : dir_(dir), name_(std::move(name)), size_(so_far.size), hash_(so_far.hash) {
  out_.open(dir_ / name_, std::ios::binary | std::ios::app);
  if (!out_) throw FileError("cannot write " + (dir_ / name_).string());
}

void ReportFileWriter::Append(std::string_view text) {
  out_.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (!out_) throw FileError("cannot write " + (dir_ / name_).string() + ": the disk may be full");
  size_ += text.size();
  hash_ = FingerprintHash(text, hash_);
}

void ReportFileWriter::Finish() {
  out_.close();
  if (!out_) throw FileError("cannot write " + (dir_ / name_).string() + ": the disk may be full");
  List(dir_, name_, WrittenFile{size_, hash_});
}
