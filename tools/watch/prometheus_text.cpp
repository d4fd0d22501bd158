#include "tools/watch/prometheus_text.h"

#include <system_error>

#include "tools/common/dump_lines.h"
#include "tools/common/files.h"
#include "tools/common/own_files.h"

namespace fs = std::filesystem;

namespace {

// Beside the Prometheus file: hidden, and not ending in .prom, so the textfile collector never
// reads it.
constexpr const char* kList = ".kestrovar-prometheus";
constexpr const char* kListHead =
    "Made by kestrovar watch. It replaces only the files listed here, while each is as it wrote "
    "it.";

fs::path FolderOf(const fs::path& file) {
  return file.parent_path().empty() ? fs::path(".") : file.parent_path();
}

OwnList ReadListIn(const fs::path& folder) {
  try {
    return ReadOwnList(folder, kList, kListHead).list;
  } catch (const OwnFilesError& error) {
    throw FileError(error.what());
  }
}

}  // namespace

std::string EscapeLabelValue(std::string_view value) {
  std::string escaped;
  escaped.reserve(value.size());
  for (const char c : value) {
    if (c == '\\') {
      escaped += "\\\\";
    } else if (c == '"') {
      escaped += "\\\"";
    } else if (c == '\n') {
      escaped += "\\n";
    } else {
      escaped += c;
    }
  }
  return escaped;
}

std::string PrometheusText(const PrometheusCensus& census) {
  // A name ending in _count is a histogram's or summary's part to Prometheus: the count of
  // creatures is kestrovar_class_creatures.
  std::string text =
      "# HELP kestrovar_class_creatures Wild creatures of the class that the plug-in counts "
      "against its limit, at the last good census (kvar.dumpdinos).\n"
      "# TYPE kestrovar_class_creatures gauge\n";
  std::map<std::string, uint64_t> counts;
  for (const auto& [key, count] : census.counts) counts[DumpForm(key)] += count;
  if (census.last_good) {
    for (const std::string& key : census.known) counts.try_emplace(DumpForm(key), 0);
    for (const auto& [key, limit] : census.limits) counts.try_emplace(DumpForm(key), 0);
  }
  for (const auto& [key, count] : counts) {
    text += "kestrovar_class_creatures{key=\"" + EscapeLabelValue(key) + "\"} " +
            std::to_string(count) + "\n";
  }
  text +=
      "# HELP kestrovar_class_limit The class's limit in the configuration given to kestrovar "
      "watch.\n"
      "# TYPE kestrovar_class_limit gauge\n";
  std::map<std::string, int32_t> limits;
  for (const auto& [key, limit] : census.limits) limits.emplace(DumpForm(key), limit);
  for (const auto& [key, limit] : limits) {
    text += "kestrovar_class_limit{key=\"" + EscapeLabelValue(key) + "\"} " +
            std::to_string(limit) + "\n";
  }
  text +=
      "# HELP kestrovar_last_census_timestamp_seconds When the last good census came, in seconds "
      "since 1970-01-01 UTC.\n"
      "# TYPE kestrovar_last_census_timestamp_seconds gauge\n";
  if (census.last_good) {
    text += "kestrovar_last_census_timestamp_seconds " +
            std::to_string(static_cast<long long>(*census.last_good)) + "\n";
  }
  text +=
      "# HELP kestrovar_census_success 1 when the last census succeeded, 0 when it failed.\n"
      "# TYPE kestrovar_census_success gauge\n"
      "kestrovar_census_success " +
      std::string(census.success ? "1" : "0") + "\n";
  return text;
}

fs::path PrometheusTemporary(const fs::path& file) {
  // Hidden and not ending in .prom: the textfile collector never reads it.
  return file.parent_path() / ("." + file.filename().string() + ".kestrovar-tmp");
}

std::string PrometheusFileProblem(const fs::path& file) {
  const fs::path folder = FolderOf(file);
  OwnList list;
  try {
    list = ReadListIn(folder);
  } catch (const FileError& error) {
    return error.what();
  }
  std::error_code error;
  for (const fs::path& path : {file, PrometheusTemporary(file)}) {
    if (!fs::exists(fs::symlink_status(path, error))) continue;
    const std::string name = path.filename().string();
    const auto listed = list.files.find(name);
    if (listed == list.files.end() || !IsAsWritten(folder, name, listed->second)) {
      return path.string() +
             " is there already and kestrovar watch did not write it (or it was "
             "changed since); it is left as it is. Give a new file name";
    }
  }
  return {};
}

void ReplaceFileAtomically(const fs::path& file, std::string_view text) {
  // Checked at each census: a file the operator put there since is left as it is.
  if (const std::string problem = PrometheusFileProblem(file); !problem.empty()) {
    throw FileError(problem);
  }
  const fs::path folder = FolderOf(file);
  const fs::path temporary = PrometheusTemporary(file);
  OwnList list = ReadListIn(folder);
  // Listed before it is written: a run stopped in between leaves a file the next run may replace.
  list.files[temporary.filename().string()] = FingerprintOf(text);
  WriteOwnList(folder, kList, kListHead, list);
  WriteWholeFile(temporary, text);
  std::error_code error;
  fs::rename(temporary, file, error);
  if (error) {
    const std::string why = FileProblem(error);
    std::error_code ignored;
    fs::remove(temporary, ignored);
    throw FileError("cannot replace " + file.string() + ": " + why);
  }
  list.files.erase(temporary.filename().string());
  list.files[file.filename().string()] = FingerprintOf(text);
  WriteOwnList(folder, kList, kListHead, list);
}
