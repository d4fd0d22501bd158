#pragma once

// The plug-in's censuses as kvar.dumpdinos leaves them: dump files named by the server's local time
// (DinoDumpLog_dd-mm-YYYY_HH-MM-SS.txt, one "KEY. Num: N" line per class), folders of them, and the
// server's log, where each line of a dump is a warning entry of the plug-in's logger.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "tools/check/finding.h"
#include "tools/common/dump_lines.h"  // DumpForm: the dump's "?" for bytes outside ASCII

// A time of the server's local clock, zone unknown: seconds from 1970-01-01 00:00:00 of that clock.
using LocalSeconds = int64_t;

struct ClassCount {
  uint32_t key = 0;  // index into CensusHistory::keys
  uint32_t count = 0;
};

struct Census {
  LocalSeconds time = 0;
  uint32_t source = 0;  // index into CensusHistory::sources
  int line = 0;         // where it starts in its source, from 1
  std::vector<ClassCount> counts;
};

// Everything read from the inputs. A dump file and an RCON reply write each byte outside ASCII as
// "?" (DumpForm), so classes that differ only there are one key of theirs; a server log keeps the
// letters whole and tells those classes apart, so its keys are kept as it wrote them.
struct CensusHistory {
  std::vector<std::string> keys;   // as read: a dump's form, or a log's whole key
  std::vector<std::string> shown;  // the key as shown; the same as `keys` but for a dump text
                                   // whose keys hold bytes outside ASCII (then their dump form)
  struct KeyHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view key) const noexcept {
      return std::hash<std::string_view>{}(key);
    }
  };
  std::unordered_map<std::string, uint32_t, KeyHash, std::equal_to<>> index;
  std::vector<std::string> sources;  // files, as given or found
  std::vector<Census> censuses;      // in reading order; SortByTime orders them
  std::vector<Finding> findings;
  // Keys of a dump text that stand for more than one class (a dump writes each byte outside ASCII
  // as "?"), with the keys met for each. Their counts are summed. A log's keys are never here.
  std::map<uint32_t, std::set<std::string>> alike;
  // Files that held more than one census, with how many.
  std::vector<std::pair<std::string, int>> shared_files;

  // The class at each line of the last dump read: dumps list the table in the same order, so a
  // line's key is most often the one at its place in the dump before.
  std::vector<uint32_t> key_at_line;

  // Running figures per class over censuses[0, tallied), against the limits in `tally_limits`
  // (-1: none): the report's table without a pass over every census, for `watch`. The report
  // brings them up to date; SortByTime drops them when it reorders.
  struct ClassTally {
    uint32_t present = 0;  // censuses that hold the class
    uint32_t lowest = UINT32_MAX;
    uint32_t highest = 0;
    std::size_t at_limit = 0;  // censuses that hold it at or above its limit
  };
  std::vector<ClassTally> tally;
  std::vector<int64_t> tally_limits;
  std::size_t tallied = 0;
  // Counts the times SortByTime reordered: what was written in the order before is stale.
  uint64_t reorders = 0;

  uint32_t KeyIndex(std::string_view key);
  // Orders the censuses by time (a no-op when they are in order already).
  void SortByTime();
};

// The time that a dump file's name carries, or empty when the name is not the plug-in's.
std::optional<LocalSeconds> DumpFileTime(std::string_view file_name);
// "2026-12-07 21:30:05" (`separator` between the date and the time).
std::string LocalTimeText(LocalSeconds time, char separator = ' ');
// The time of a log entry as log_lines.h gives it ("12/07/26 21:30:05", "2026-12-07 21:30:05.123").
std::optional<LocalSeconds> LogEntryTime(std::string_view time);

// A dump file's text. `time` is the census's; every census found is added to `history`, and
// what cannot be read becomes a finding. A text with a handful of lines that are no dump lines
// (or that is no text) is judged to be no dump at all: one finding, and no census from it. An
// empty text is a census of no classes (an empty world) when `named_as_dump`, else no dump. With
// `named_as_dump` the text is one census (the plug-in writes one per file): a key met again is
// another class that the dump writes alike, summed with it. Other text may hold several: a key met
// again starts the next census, but for a key holding "?" that is not the census's first.
void ReadDumpText(std::string_view text, const std::string& source, LocalSeconds time,
                  CensusHistory& history, bool named_as_dump = false);
// A server log's text: its dump entries, grouped into one census per run of the command.
void ReadLogText(std::string_view text, const std::string& source, CensusHistory& history);
// Whether a text is a server log (its first line that is not blank starts a log entry).
bool LooksLikeLog(std::string_view text);

// A path as given: a dump file, a log, or a folder holding dump files (not its subfolders, except
// the DinoDumpLogs folder of a plug-in's or server's folder given instead). A missing path, or a
// folder with no dump file, is a finding of input that cannot be used.
void ReadCensusInput(const std::string& path, CensusHistory& history);
