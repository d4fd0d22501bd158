#include "tools/report/census_reader.h"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <limits>
#include <set>
#include <system_error>

#include "tools/common/dump_lines.h"
#include "tools/common/files.h"
#include "tools/common/log_lines.h"
#include "tools/common/text_bytes.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kDumpPrefix = "DinoDumpLog_";
constexpr std::string_view kDumpSuffix = ".txt";
constexpr std::string_view kKeyStart = "Blueprint'";
// After this many lines that are no dump lines, a file is judged to be no dump at all: reporting
// each of its lines would print the file.
constexpr int kHandful = 5;
// Log entries of one dump run are written in one go; a longer pause between two of them means
// another run.
constexpr LocalSeconds kLogRunGap = 60;

// Days from 1970-01-01 of a date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t year_of_era = year - era * 400;
  const int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

bool IsLeap(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int64_t year, int64_t month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

std::optional<LocalSeconds> FromParts(int64_t year, int64_t month, int64_t day, int64_t hour,
                                      int64_t minute, int64_t second) {
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 ||
      minute > 59 || second > 60) {
    return std::nullopt;
  }
  return DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
}

// Reads `shape` at the start of `text`, each '0' a digit, into `numbers` (one per run of zeros).
bool ReadShape(std::string_view text, std::string_view shape, std::vector<int64_t>& numbers) {
  if (text.size() < shape.size()) return false;
  numbers.clear();
  bool in_number = false;
  for (std::size_t i = 0; i < shape.size(); ++i) {
    if (shape[i] != '0') {
      if (text[i] != shape[i]) return false;
      in_number = false;
      continue;
    }
    if (text[i] < '0' || text[i] > '9') return false;
    if (!in_number) numbers.push_back(0);
    in_number = true;
    numbers.back() = numbers.back() * 10 + (text[i] - '0');
  }
  return true;
}

std::string Quote(std::string_view text) {
  return "\"" + Shortened(PrintableText(text), 70) + "\"";
}

}  // namespace

uint32_t CensusHistory::KeyIndex(std::string_view key) {
  const auto found = index.find(key);
  if (found != index.end()) return found->second;
  const auto id = static_cast<uint32_t>(keys.size());
  keys.emplace_back(key);
  shown.emplace_back(key);
  index.emplace(std::string(key), id);
  return id;
}

void CensusHistory::SortByTime() {
  const auto by_time = [](const Census& a, const Census& b) { return a.time < b.time; };
  if (std::is_sorted(censuses.begin(), censuses.end(), by_time)) return;
  std::stable_sort(censuses.begin(), censuses.end(), by_time);
  tally.clear();
  tallied = 0;
  ++reorders;
}

std::optional<LocalSeconds> DumpFileTime(std::string_view name) {
  if (!name.starts_with(kDumpPrefix) || !name.ends_with(kDumpSuffix)) return std::nullopt;
  name = name.substr(kDumpPrefix.size(), name.size() - kDumpPrefix.size() - kDumpSuffix.size());
  std::vector<int64_t> n;
  if (name.size() != 19 || !ReadShape(name, "00-00-0000_00-00-00", n)) return std::nullopt;
  return FromParts(n[2], n[1], n[0], n[3], n[4], n[5]);
}

std::string LocalTimeText(LocalSeconds time, char separator) {
  // The civil date of a day count (the inverse of DaysFromCivil).
  const int64_t days = time >= 0 ? time / 86400 : (time - 86399) / 86400;
  const int64_t seconds = time - days * 86400;
  const int64_t z = days + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t day_of_era = z - era * 146097;
  const int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t mp = (5 * day_of_year + 2) / 153;
  const int64_t day = day_of_year - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const int64_t year = year_of_era + era * 400 + (month <= 2 ? 1 : 0);
  return fmt::format("{:04}-{:02}-{:02}{}{:02}:{:02}:{:02}", year, month, day, separator,
                     seconds / 3600, seconds / 60 % 60, seconds % 60);
}

std::optional<LocalSeconds> LogEntryTime(std::string_view time) {
  std::vector<int64_t> n;
  if (ReadShape(time, "00/00/00 00:00:00", n)) {
    return FromParts(2000 + n[2], n[0], n[1], n[3], n[4], n[5]);
  }
  if (ReadShape(time, "00/00/00 00:00", n))
    return FromParts(2000 + n[2], n[0], n[1], n[3], n[4], 0);
  if (ReadShape(time, "0000-00-00 00:00:00", n)) {
    return FromParts(n[0], n[1], n[2], n[3], n[4], n[5]);
  }
  return std::nullopt;
}

namespace {

// Builds the censuses of one source: a key met again starts the next census.
class CensusBuilder {
 public:
  explicit CensusBuilder(uint32_t source) : source_(source) {}

  void Start(LocalSeconds time, int line) {
    Finish();
    open_ = true;
    current_ = Census{time, source_, line, {}};
  }
  bool Open() const { return open_; }
  // The open census lacks the lines after a break: its missing classes would read as none.
  void MarkCut() { cut_ = open_; }
  int CutCensuses() const { return cut_censuses_; }
  // Whether the key is already in the open census.
  bool Has(uint32_t key) const { return key < seen_.size() && seen_[key] == stamp_; }
  void Add(uint32_t key, uint32_t count) {
    if (key >= seen_.size()) seen_.resize(key + 1, 0);
    seen_[key] = stamp_;
    current_.counts.push_back({key, count});
  }
  // Whether the key is the open census's first: met again, it starts the next dump in the file.
  bool IsFirst(uint32_t key) const {
    return !current_.counts.empty() && current_.counts.front().key == key;
  }
  // A count of a class that the dump writes as a key the open census holds already: one census.
  void AddToSame(uint32_t key, uint32_t count) {
    for (ClassCount& held : current_.counts) {
      if (held.key != key) continue;
      held.count = static_cast<uint32_t>(
          std::min<uint64_t>(uint64_t{held.count} + count, std::numeric_limits<uint32_t>::max()));
      return;
    }
  }
  void Finish() {
    if (!open_) return;
    if (cut_) {
      ++cut_censuses_;
    } else {
      censuses_.push_back(std::move(current_));
    }
    open_ = false;
    cut_ = false;
    ++stamp_;
  }
  std::vector<Census>& Censuses() { return censuses_; }

 private:
  uint32_t source_;
  bool open_ = false;
  bool cut_ = false;
  int cut_censuses_ = 0;
  Census current_;
  std::vector<Census> censuses_;
  std::vector<uint32_t> seen_;  // per key: the stamp of the census that holds it
  uint32_t stamp_ = 1;
};

uint32_t AddSource(CensusHistory& history, const std::string& source) {
  history.sources.push_back(source);
  return static_cast<uint32_t>(history.sources.size() - 1);
}

void KeepCensuses(CensusHistory& history, const std::string& source,
                  std::vector<Census>& censuses) {
  if (censuses.size() > 1) history.shared_files.emplace_back(source, censuses.size());
  for (Census& census : censuses) history.censuses.push_back(std::move(census));
}

Finding NotADump(const std::string& source, const std::string& why) {
  return Finding{Severity::kError,
                 source,
                 0,
                 0,
                 "not-a-dump",
                 "this file is not a dump: " + why,
                 "give the plug-in's dump files (DinoDumpLogs/DinoDumpLog_*.txt), folders of them "
                 "or the server's log"};
}

Finding CutShort(const std::string& source, int line, std::string_view text) {
  return Finding{Severity::kWarning,
                 source,
                 line,
                 1,
                 "cut-short",
                 "this dump line breaks off before its count: " + Quote(text),
                 "the census was written while the disk filled up or the server stopped; the "
                 "census this line belongs to is left out (its classes after the break are "
                 "unknown), the file's other censuses are counted"};
}

// The key of a dump line, counted under its dump form; the log's whole letters are kept for show.
uint32_t KeyOf(CensusHistory& history, std::string_view key) {
  for (const char c : key) {
    if (static_cast<unsigned char>(c) >= 0x80) {
      const uint32_t id = history.KeyIndex(DumpForm(key));
      history.shown[id] = std::string(key);
      return id;
    }
  }
  return history.KeyIndex(key);
}

}  // namespace

void ReadDumpText(std::string_view text, const std::string& source, LocalSeconds time,
                  CensusHistory& history, bool named_as_dump) {
  if (LooksLikeUtf16(text)) {
    // An editor's "Unicode" save of a dump or log: named as `check` names it.
    history.findings.push_back(Finding{
        Severity::kError, source, 0, 0, "utf16-text",
        "the file is UTF-16 text, and dumps and logs are read as the plug-in writes them, in "
        "UTF-8: it cannot be read",
        "save it as UTF-8 (in the editor's Save As, choose the encoding UTF-8)"});
    return;
  }
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  const uint32_t source_index = AddSource(history, source);
  CensusBuilder builder(source_index);
  std::vector<Finding> findings;
  int not_dump = 0;
  int entries = 0;
  builder.Start(time, 1);
  for (const NumberedDumpLine& line : ReadDumpLines(text)) {
    switch (line.read.form) {
      case DumpLineForm::kEntry: {
        const auto place = static_cast<std::size_t>(entries++);
        uint32_t key = 0;
        if (place < history.key_at_line.size() &&
            history.keys[history.key_at_line[place]] == line.read.key) {
          key = history.key_at_line[place];
        } else {
          key = KeyOf(history, line.read.key);
          if (place >= history.key_at_line.size()) history.key_at_line.resize(place + 1);
          history.key_at_line[place] = key;
        }
        // The table holds each class once. A dump file is one census (the plug-in writes one per
        // file), so a key met again there is another class that the dump writes alike, wherever it
        // stands. Other text may hold several: there a key met again is the next dump's, unless
        // it holds "?" and is not the dump's first.
        if (builder.Has(key)) {
          const bool written_alike = line.read.key.find('?') != std::string_view::npos;
          if (named_as_dump || (written_alike && !builder.IsFirst(key))) {
            builder.AddToSame(key, line.read.count);
            if (written_alike) {
              history.alike[key].insert(std::string(line.read.key));
            } else {
              findings.push_back(Finding{
                  Severity::kWarning, source, line.number, 1, "class-again",
                  "this class comes again in a dump file, which holds one census: " +
                      Quote(line.text),
                  "its counts are summed; keep several censuses in a file not named as a dump"});
            }
            break;
          }
          builder.Start(time, line.number);
        }
        builder.Add(key, line.read.count);
        break;
      }
      case DumpLineForm::kCutShort:
        // A last line without its line end is cut short only when it looks like the start of
        // one: any text would otherwise pass for a dump cut in its first line.
        if (!line.read.key.empty() || line.text.starts_with(kKeyStart)) {
          findings.push_back(CutShort(source, line.number, line.text));
          // A key the open census already holds starts the next one: the open one is whole.
          if (const auto known = history.index.find(DumpForm(line.read.key));
              !named_as_dump && !line.read.key.empty() && known != history.index.end() &&
              builder.Has(known->second)) {
            builder.Start(time, line.number);
          }
          builder.MarkCut();
          break;
        }
        [[fallthrough]];
      case DumpLineForm::kOther:
        if (line.text.empty()) break;
        if (++not_dump == kHandful) {
          history.findings.push_back(NotADump(
              source, std::to_string(kHandful) +
                          " of its lines are not the plug-in's dump lines (\"KEY. Num: N\")"));
          return;
        }
        findings.push_back(
            Finding{Severity::kWarning, source, line.number, 1, "not-a-dump-line",
                    "this line is not a dump line (\"KEY. Num: N\"): " + Quote(line.text),
                    "the line is left out; the file's other lines are counted"});
        break;
    }
  }
  builder.Finish();
  // An empty world's dump is empty: with a dump's name, an empty file is a census of no classes.
  // Any other file without a dump line is no census.
  if (entries == 0 && builder.CutCensuses() == 0 && !(named_as_dump && not_dump == 0)) {
    history.findings.push_back(
        NotADump(source, not_dump == 0 ? "it is empty or holds blank lines only"
                                       : "none of its lines is a dump line (\"KEY. Num: N\")"));
    return;
  }
  history.findings.insert(history.findings.end(), findings.begin(), findings.end());
  KeepCensuses(history, source, builder.Censuses());
}

bool LooksLikeLog(std::string_view text) {
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (line.starts_with("\xEF\xBB\xBF")) line.remove_prefix(3);
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line.find_first_not_of(" \t") == std::string_view::npos) continue;
    return ReadLogEntryStart(line).has_value();
  }
  return false;
}

void ReadLogText(std::string_view text, const std::string& source, CensusHistory& history) {
  const uint32_t source_index = AddSource(history, source);
  CensusBuilder builder(source_index);
  LocalSeconds last_time = 0;
  int number = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    ++number;
    const std::optional<LogEntryStart> entry = ReadLogEntryStart(line);
    // The further lines of an entry's message belong to it.
    if (!entry) continue;
    const bool plugin_warning = entry->logger == "Kestrovar" && entry->level == "warning";
    const DumpLine dump = plugin_warning ? ReadDumpLine(entry->message) : DumpLine{};
    if (dump.form == DumpLineForm::kCutShort) {
      history.findings.push_back(CutShort(source, number, entry->message));
      builder.MarkCut();
      continue;
    }
    if (dump.form != DumpLineForm::kEntry) {
      builder.Finish();
      continue;
    }
    const std::optional<LocalSeconds> time = LogEntryTime(entry->time);
    if (!time) {
      history.findings.push_back(
          Finding{Severity::kWarning, source, number, 1, "log-time",
                  "this dump entry's time is no date: " + Quote(entry->time),
                  "the entry is left out; the log's time stamps are MM/DD/YY HH:MM:SS"});
      continue;
    }
    // The log keeps the letters that a dump file writes as "?": its keys tell those classes apart,
    // so each is a class of its own, under its whole key.
    const uint32_t key = history.KeyIndex(dump.key);
    if (!builder.Open() || builder.Has(key) || *time - last_time > kLogRunGap ||
        *time < last_time) {
      builder.Start(*time, number);
    }
    last_time = *time;
    builder.Add(key, dump.count);
  }
  builder.Finish();
  if (builder.Censuses().empty() && builder.CutCensuses() == 0) {
    history.findings.push_back(Finding{
        Severity::kWarning, source, 0, 0, "no-census-in-log",
        "this log holds no census: no warning entry of the plug-in's logger is a dump line",
        "run kvar.dumpdinos from the server's console: the console's dump goes into the log"});
    return;
  }
  for (Census& census : builder.Censuses()) history.censuses.push_back(std::move(census));
}

namespace {

void ReadOneFile(const fs::path& path, const std::string& source, CensusHistory& history) {
  std::string why;
  const std::optional<std::string> text = ReadWholeFile(path, &why);
  if (!text) {
    history.findings.push_back(Finding{Severity::kError, source, 0, 0, "unreadable-file",
                                       "cannot read this file: " + why,
                                       "give a dump file or log that can be read", true});
    return;
  }
  if (const std::optional<LocalSeconds> time = DumpFileTime(path.filename().string())) {
    ReadDumpText(*text, source, *time, history, true);
    return;
  }
  if (LooksLikeLog(*text)) {
    ReadLogText(*text, source, history);
    return;
  }
  // Another name: the file's own time stands in for the one a dump's name carries.
  std::error_code error;
  const auto written = fs::last_write_time(path, error);
  LocalSeconds time = 0;
  if (!error) {
    const auto system = std::chrono::time_point_cast<std::chrono::seconds>(
        written - fs::file_time_type::clock::now() + std::chrono::system_clock::now());
    const std::time_t when = std::chrono::system_clock::to_time_t(system);
    if (const std::tm* local = std::localtime(&when)) {
      time = FromParts(local->tm_year + 1900, local->tm_mon + 1, local->tm_mday, local->tm_hour,
                       local->tm_min, local->tm_sec)
                 .value_or(0);
    }
  }
  const std::size_t findings = history.findings.size();
  const std::size_t censuses = history.censuses.size();
  // A dump's name without its time (renamed by hand) is still one census.
  ReadDumpText(*text, source, time, history, IsDumpFileName(path.filename().string()));
  if (history.censuses.size() > censuses) {
    history.findings.insert(
        history.findings.begin() + static_cast<std::ptrdiff_t>(findings),
        Finding{Severity::kNote, source, 0, 0, "dump-time-from-file",
                "the name carries no time (DinoDumpLog_dd-mm-YYYY_HH-MM-SS.txt): the census is "
                "placed at the file's last change, " +
                    LocalTimeText(time),
                "keep the name that the plug-in gave the file"});
  }
}

// The dump files directly in a folder, by name.
std::vector<fs::path> DumpFilesIn(const fs::path& folder) {
  std::vector<fs::path> files;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    if (IsDumpFileName(it->path().filename().string())) files.push_back(it->path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

void ReadCensusInput(const std::string& path, CensusHistory& history) {
  const fs::path given(path);
  std::error_code error;
  if (!fs::is_directory(given, error)) {
    if (const std::string problem = FileToReadProblem(given); !problem.empty()) {
      history.findings.push_back(Finding{Severity::kError, path, 0, 0, "unreadable-file",
                                         "cannot read this file: " + problem,
                                         "give a dump file, a folder of them or a log", true});
      return;
    }
    ReadOneFile(given, path, history);
    return;
  }
  std::vector<fs::path> files = DumpFilesIn(given);
  // The plug-in's folder or the server's folder stands for the dumps it holds.
  for (const char* below : {"DinoDumpLogs", "ArkApi/Plugins/Kestrovar/DinoDumpLogs"}) {
    if (!files.empty()) break;
    if (fs::is_directory(given / below, error)) files = DumpFilesIn(given / below);
  }
  if (files.empty()) {
    history.findings.push_back(
        Finding{Severity::kError, path, 0, 0, "no-dump-files",
                "this folder holds no dump file (DinoDumpLog_dd-mm-YYYY_HH-MM-SS.txt)",
                "give the plug-in's DinoDumpLogs folder; the plug-in writes dumps there when "
                "\"WriteDumpsToFile\" is true",
                true});
    return;
  }
  for (const fs::path& file : files) {
    const std::string source = file.generic_string();
    if (!fs::is_regular_file(file, error)) continue;
    if (!DumpFileTime(file.filename().string())) {
      history.findings.push_back(
          Finding{Severity::kWarning, source, 0, 0, "dump-name",
                  "the name is not a dump's name (DinoDumpLog_dd-mm-YYYY_HH-MM-SS.txt): its time "
                  "is unknown",
                  "the file is left out; give it by itself to place it at its last change"});
      continue;
    }
    ReadOneFile(file, source, history);
  }
}
