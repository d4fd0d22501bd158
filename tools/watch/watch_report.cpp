#include "tools/watch/watch_report.h"

#include <sstream>

#include "tools/common/output.h"
#include "tools/report/report_command.h"
#include "tools/report/report_folder.h"

std::string UpdateWatchReport(const std::filesystem::path& dir, const std::string& config) {
  ReportOptions report;
  report.inputs = {dir.string()};
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
    PrintFailure("kestrovar watch: --out: ", error);
    return false;
  }
}
