#pragma once

// The one place where `watch` has DIR's report brought up to date: report.txt, census.csv and the
// chart, from every dump file in DIR, by the code of `kestrovar report`. DIR's dump files are read
// once, at the start; each census stored after is added as it comes, so that no census reads the
// whole folder again.

#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

#include "tools/report/census_reader.h"
#include "tools/report/report_command.h"

// The censuses in DIR: those of its dump files at the start, then each one stored.
class WatchHistory {
 public:
  // Reads DIR's dump files (none is fine).
  explicit WatchHistory(const std::filesystem::path& dir);
  // Adds the census stored as DIR/NAME with `text`, in the order of time.
  void Add(const std::string& name, std::string_view text);
  CensusHistory& censuses() { return history_; }
  CsvWritten& csv_written() { return csv_written_; }

 private:
  std::filesystem::path dir_;
  CensusHistory history_;
  CsvWritten csv_written_;  // what the last report wrote of DIR/census.csv
};

// After each census. `config` is empty when none was given. Problems are printed, never thrown.
// Returns the report's line on the chart when it drew none ("chart: not drawn, ..."), else "".
std::string UpdateWatchReport(const std::filesystem::path& dir, const std::string& config,
                              WatchHistory& history);

// Before the first census: whether DIR's report files may be replaced (a report made them and
// they are unchanged since); says why not.
bool CheckWatchReportFolder(const std::filesystem::path& dir);
