#include "tools/watch/watch_report.h"

#include <sstream>

#include "tools/common/output.h"
#include "tools/report/report_command.h"
#include "tools/report/report_folder.h"

void UpdateWatchReport(const std::filesystem::path& dir, const std::string& config) {
  ReportOptions report;
  report.inputs = {dir.string()};
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
