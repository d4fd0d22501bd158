#pragma once

// The one place where `watch` has DIR's report brought up to date: report.txt, census.csv and the
// chart, from every dump file in DIR, by the code of `kestrovar report`.

#include <filesystem>
#include <string>

// After each census. `config` is empty when none was given. Problems are printed, never thrown.
// Returns the report's line on the chart when it drew none ("chart: not drawn, ..."), else "".
std::string UpdateWatchReport(const std::filesystem::path& dir, const std::string& config);

// Before the first census: whether DIR's report files may be replaced (a report made them and
// they are unchanged since); says why not.
bool CheckWatchReportFolder(const std::filesystem::path& dir);
