#pragma once

// A census in Prometheus's text exposition format, for node_exporter's textfile collector, and the
// file it goes to, replaced whole so that the collector never reads half of one.

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Every class's series carry one label, `key`, the class key as the dump writes it (DumpForm), on
// its count and on its limit alike, so that a query can join them. Classes that the dump writes
// alike (letters outside ASCII) are one series, their counts summed.
struct PrometheusCensus {
  // Class key as the dump writes it, and its count: the last good census.
  std::vector<std::pair<std::string, uint32_t>> counts;
  // Class key as the configuration writes it, and its limit (classes with a limit only). Of keys
  // that the dump writes alike, the first in byte order gives the series, as in `report`.
  std::map<std::string, int32_t> limits;
  // Keys of earlier censuses. They and the limits' keys have a count series, 0 when the last good
  // census does not hold them (an empty world's census too), so that a join of count and limit
  // on `key` still finds them.
  std::set<std::string> known;
  std::optional<std::time_t> last_good;  // when the last good census came
  bool success = false;                  // whether the last census succeeded
};

// A label value as the format wants it: backslash, double quote and line feed escaped.
std::string EscapeLabelValue(std::string_view value);
std::string PrometheusText(const PrometheusCensus& census);

// The temporary file beside `file` that is renamed over it.
std::filesystem::path PrometheusTemporary(const std::filesystem::path& file);
// Why `file` (or its temporary file) may not be replaced: it is there, and the list beside it
// (.kestrovar-prometheus, own_files.h) does not hold it as written. Empty when it may.
std::string PrometheusFileProblem(const std::filesystem::path& file);
// Writes the temporary file, then renames it over `file`, each listed as written. Throws
// FileError.
void ReplaceFileAtomically(const std::filesystem::path& file, std::string_view text);
