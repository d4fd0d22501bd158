#include "tools/watch/watch_report.h"

#include <optional>
#include <sstream>

#include "tools/common/output.h"
#include "tools/report/report_command.h"
#include "tools/report/report_folder.h"

WatchHistory::WatchHistory(const std::filesystem::path& dir) : dir_(dir) {
  ReadCensusInput(dir.string(), history_);
  // A folder without a dump yet is where the first census goes, not a problem.
  std::erase_if(history_.findings,
                [](const Finding& finding) { return finding.code == "no-dump-files"; });
  history_.SortByTime();
}

void WatchHistory::Add(const std::string& name, std::string_view text) {
  const std::optional<LocalSeconds> time = DumpFileTime(name);
  if (!time) return;
  const std::size_t before = history_.censuses.size();
  ReadDumpText(text, (dir_ / name).generic_string(), *time, history_, true);
  // Most often the latest; a census from when the clocks went back takes its place by time.
  const bool in_order = before == 0 || before == history_.censuses.size() ||
                        history_.censuses[before - 1].time <= history_.censuses[before].time;
  if (!in_order) history_.SortByTime();
}

void UpdateWatchReport(const std::filesystem::path& dir, const std::string& config,
                       const WatchHistory& history) {
  ReportOptions report;
  report.inputs = {dir.string()};
  report.history = &history.censuses();
  if (!config.empty()) report.config = config;
  report.out_dir = dir.string();
  // The table goes to DIR/report.txt; the watch's own line per census is what the terminal shows.
  std::ostringstream table;
  const int code = RunReport(report, table);
  if (code >= 2) {
    PrintLine("  the report in " + dir.string() + " was not brought up to date (see above)");
  }
}

bool CheckWatchReportFolder(const std::filesystem::path& dir) {
  try {
    PrepareReportFolder(dir);
    return true;
  } catch (const std::exception& error) {
    PrintFailure("kestrovar watch: --out: ", error);
    return false;
  }
}
