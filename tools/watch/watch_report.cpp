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
  // Its place by time (a census from when the clocks went back) is taken at the report, whose
  // SortByTime moves only what is out of order.
  ReadDumpText(text, (dir_ / name).generic_string(), *time, history_, true);
}

std::string UpdateWatchReport(const std::filesystem::path& dir, const std::string& config,
                              WatchHistory& history) {
  ReportOptions report;
  report.inputs = {dir.string()};
  report.history = &history.censuses();
  report.csv_written = &history.csv_written();
  if (!config.empty()) report.config = config;
  report.out_dir = dir.string();
  // The table goes to DIR/report.txt; the watch's own line per census is what the terminal shows.
  std::ostringstream table;
  const int code = RunReport(report, table);
  if (code >= 2) {
    PrintLine("  the report in " + dir.string() + " was not brought up to date (see above)");
    return {};
  }
  // The report's lines on its files follow the table: "chart: PATH" when it drew one.
  const std::string drawn = "chart: " + (dir / "population.svg").generic_string();
  std::istringstream lines(table.str());
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("chart: ", 0) == 0 && line != drawn) return line;
  }
  return {};
}

bool CheckWatchReportFolder(const std::filesystem::path& dir) {
  try {
    PrepareReportFolder(dir);
    return true;
  } catch (const std::exception& error) {
    // The report's folder errors name "--out DIR" themselves.
    PrintFailure("kestrovar watch: ", error);
    return false;
  }
}
