#pragma once

// A census in Prometheus's text exposition format, for node_exporter's textfile collector, and the
// file it goes to, replaced whole so that the collector never reads half of one.

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct PrometheusCensus {
  // Class key as the dump writes it, and its count: the last good census.
  std::vector<std::pair<std::string, uint32_t>> counts;
  // Class key as the configuration writes it, and its limit (classes with a limit only).
  std::map<std::string, int32_t> limits;
  std::optional<std::time_t> last_good;  // when the last good census came
  bool success = false;                  // whether the last census succeeded
};

// A label value as the format wants it: backslash, double quote and line feed escaped.
std::string EscapeLabelValue(std::string_view value);
std::string PrometheusText(const PrometheusCensus& census);

// Whether `text` is a file this program wrote (so that it may be replaced).
bool IsPrometheusTextOfOurs(std::string_view text);
// The temporary file beside `file` that is renamed over it.
std::filesystem::path PrometheusTemporary(const std::filesystem::path& file);
// Writes the temporary file, then renames it over `file`. Throws FileError.
void ReplaceFileAtomically(const std::filesystem::path& file, std::string_view text);
