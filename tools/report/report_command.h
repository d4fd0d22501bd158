#pragma once

// `kestrovar report DUMPS...`: the plug-in's censuses (dump files, folders of them, the server's
// log) as a history against the configuration's limits: a table per class, notes on what to look
// at, and with --out a CSV and a chart. `kestrovar watch` calls RunReport after each census it
// stores, so that its folder's report stays up to date.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace CLI {
class App;
}
struct CensusHistory;
// census.csv as a report wrote it: the censuses it holds, their order, the limits in its rows, and
// the file's size, hash and time of change.
struct CsvWritten {
  std::size_t censuses = 0;
  uint64_t reorders = 0;
  std::vector<std::string> limits;   // per key id
  std::vector<std::string> not_met;  // the rows of limits no census holds: "KEY,LIMIT"
  std::vector<bool> known;           // per key id: has a row in every census from here on
  uint64_t size = 0;
  uint64_t hash = 0;
  std::filesystem::file_time_type changed;
};

// The options of `kestrovar report`.
struct ReportOptions {
  // Dump files (DinoDumpLog_<dd-mm-YYYY_HH-MM-SS>.txt), folders holding them, or server logs.
  std::vector<std::string> inputs;
  // The configuration whose limits the counts are held against, read as the plug-in reads it.
  std::optional<std::string> config;
  // Where report.txt, census.csv, population.gp and population.svg go: a folder the program may
  // write those files in (new, or one whose files of those names it wrote itself). None: the
  // table is printed and nothing is written.
  std::optional<std::string> out_dir;
  // The censuses read already (`watch` keeps its folder's): used instead of reading `inputs`, and
  // given back as they were, with the running figures that spare the next report a pass over
  // every census.
  CensusHistory* history = nullptr;
  // With `history`: what the last report wrote of census.csv, so that the next one appends only
  // the new censuses' rows while the limits and the order stay as they were.
  struct CsvWritten* csv_written = nullptr;
  std::string format = "text";  // "text" or "json"
  bool wide = false;            // full keys in the table, however wide it gets
};

// Adds `report` to the program's subcommands.
CLI::App* AddReportCommand(CLI::App& app, ReportOptions& options);

// Runs the whole report: reads the inputs, writes the table (or JSON) to `out` and, with
// `out_dir`, the files there; errors that end the report go to standard error. Returns 0 (all
// well), 1 (findings: unreadable lines or files, limits the plug-in never applies), 2 (unusable
// input: no census at all, a missing file or configuration, an output folder it may not write).
// Never throws.
int RunReport(const ReportOptions& options, std::ostream& out);

// The files RunReport writes in `out_dir`, by name.
inline constexpr const char* kReportFiles[] = {"report.txt", "census.csv", "population.gp",
                                               "population.svg"};
