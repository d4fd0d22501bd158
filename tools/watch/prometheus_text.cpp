#include "tools/watch/prometheus_text.h"

#include <system_error>

#include "tools/common/files.h"

namespace {

constexpr std::string_view kFirstLine =
    "# HELP kestrovar_class_count Wild creatures of the class that the plug-in counts against its "
    "limit, at the last good census (kvar.dumpdinos).\n";

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
  std::string text(kFirstLine);
  text += "# TYPE kestrovar_class_count gauge\n";
  for (const auto& [key, count] : census.counts) {
    text += "kestrovar_class_count{key=\"" + EscapeLabelValue(key) + "\"} " +
            std::to_string(count) + "\n";
  }
  text +=
      "# HELP kestrovar_class_limit The class's limit in the configuration given to kestrovar "
      "watch.\n"
      "# TYPE kestrovar_class_limit gauge\n";
  for (const auto& [key, limit] : census.limits) {
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

bool IsPrometheusTextOfOurs(std::string_view text) {
  return text.substr(0, kFirstLine.size()) == kFirstLine;
}

std::filesystem::path PrometheusTemporary(const std::filesystem::path& file) {
  // Hidden and not ending in .prom: the textfile collector never reads it.
  return file.parent_path() / ("." + file.filename().string() + ".kestrovar-tmp");
}

void ReplaceFileAtomically(const std::filesystem::path& file, std::string_view text) {
  const std::filesystem::path temporary = PrometheusTemporary(file);
  WriteWholeFile(temporary, text);
  std::error_code error;
  std::filesystem::rename(temporary, file, error);
  if (error) {
    const std::string why = FileProblem(error);
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    throw FileError("cannot replace " + file.string() + ": " + why);
  }
}
