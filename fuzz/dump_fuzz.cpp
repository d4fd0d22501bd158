// Fuzz target for the reader of the plug-in's censuses (`kestrovar report`): any bytes, read as a
// dump file and as a server log, give censuses that hold exactly what the text's dump lines say,
// each class once per census, or a verdict; a file name gives a time that reads back the same.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "tools/common/dump_lines.h"
#include "tools/report/census_reader.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// Each census names a class once, and only classes the history knows; a dump's by their dump form
// (a log keeps its keys as the plug-in logged them, letters outside ASCII included).
uint64_t CheckCensuses(const CensusHistory& history, bool dump_form) {
  uint64_t total = 0;
  for (const Census& census : history.censuses) {
    std::vector<bool> seen(history.keys.size(), false);
    for (const ClassCount& count : census.counts) {
      Check(count.key < history.keys.size());
      Check(!seen[count.key]);
      seen[count.key] = true;
      total += count.count;
    }
  }
  for (const std::string& key : history.keys) {
    if (!dump_form) break;
    for (const char c : key) Check(static_cast<unsigned char>(c) < 0x80);
    Check(DumpForm(key) == key);
  }
  Check(history.keys.size() == history.shown.size());
  return total;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  CensusHistory dump;
  ReadDumpText(text, "dump", 0, dump);
  const uint64_t total = CheckCensuses(dump, true);
  bool verdict = false;
  bool cut_short = false;  // the census that holds a broken line is left out whole
  for (const Finding& finding : dump.findings) {
    verdict = verdict || finding.code == "not-a-dump" || finding.code == "utf16-text";
    cut_short = cut_short || finding.code == "cut-short";
  }
  if (verdict) {
    Check(dump.censuses.empty());
  } else {
    // Every whole dump line is counted, and nothing else (a byte-order mark aside), but for the
    // lines of a census left out for a broken line.
    std::string_view body = text;
    if (body.starts_with("\xEF\xBB\xBF")) body.remove_prefix(3);
    uint64_t expected = 0;
    for (const NumberedDumpLine& line : ReadDumpLines(body)) {
      if (line.read.form == DumpLineForm::kEntry) expected += line.read.count;
    }
    if (cut_short) {
      Check(total <= expected);
    } else {
      Check(total == expected);
      Check(!dump.censuses.empty());
    }
  }

  CensusHistory log;
  ReadLogText(text, "log", log);
  CheckCensuses(log, false);

  // A name's time reads back as the same name.
  const std::string_view name = text.substr(0, 40);
  if (const std::optional<LocalSeconds> time = DumpFileTime(name)) {
    const std::string back = LocalTimeText(*time);  // "YYYY-MM-DD HH:MM:SS"
    const std::string rebuilt = "DinoDumpLog_" + back.substr(8, 2) + "-" + back.substr(5, 2) + "-" +
                                back.substr(0, 4) + "_" + back.substr(11, 2) + "-" +
                                back.substr(14, 2) + "-" + back.substr(17, 2) + ".txt";
    Check(DumpFileTime(rebuilt) == time);
  }
  return 0;
}
