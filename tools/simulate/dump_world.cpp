#include "tools/simulate/dump_world.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <set>

#include "tools/check/class_keys.h"
#include "tools/common/dump_lines.h"
#include "tools/common/text_bytes.h"
#include "tools/report/census_reader.h"

namespace {

constexpr std::string_view kKeyStart = "Blueprint'";
// What a dump does not say, assumed for every dumped class: the levels its zones spawn at, how
// often they refill, and how fast its creatures leave the wild.
constexpr int32_t kLowestLevel = 1;
constexpr int32_t kHighestLevel = 150;
constexpr double kZoneCheckSeconds = 60;
constexpr double kDeathsPerHour = 0.3;
// Lines that could not be read, named one by one up to this many, then counted.
constexpr int kLinesNamed = 5;

std::string Quoted(std::string_view text) { return "\"" + PrintableText(text) + "\""; }

bool IsPrintableAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c > ' ' && c < 0x7f; });
}

}  // namespace

std::optional<std::string> ReferenceOfClassKey(std::string_view key, std::string* why) {
  const auto fail = [&](const std::string& reason) -> std::optional<std::string> {
    if (why != nullptr) *why = reason;
    return std::nullopt;
  };
  if (key.empty()) return fail("the key is empty");
  if (!key.starts_with(kKeyStart) || !key.ends_with('\'') || key.size() <= kKeyStart.size() + 1) {
    return fail("it does not have the form Blueprint'...'");
  }
  const std::string_view path = key.substr(kKeyStart.size(), key.size() - kKeyStart.size() - 1);
  if (path.find('?') != std::string_view::npos) {
    return fail(
        "it holds \"?\", which a dump writes for each byte of a letter outside ASCII: the "
        "letters are lost");
  }
  if (!IsPrintableAscii(path)) return fail("it holds spaces, quotes or bytes outside ASCII");
  const std::size_t dot = path.rfind('.');
  if (path.front() != '/' || dot == std::string_view::npos || dot + 1 == path.size() ||
      path.find('\'') != std::string_view::npos || path.find('/', dot) != std::string_view::npos) {
    return fail("it names no class path such as Blueprint'/Game/Path/Name.Name'");
  }
  std::string reference = std::string(path) + "_C";
  // The reference must give this very key back, or the world's class would count under another.
  if (ClassKeyOfReference(reference) != key) return fail("no reference text forms this key");
  return reference;
}

namespace {

int Capped(uint32_t count) {
  return static_cast<int>(std::min<uint32_t>(count, static_cast<uint32_t>(kMostCreaturesAtOnce)));
}

// A class of the census into the world, or a note on why it stays out.
void AddClass(DumpWorld& world, const std::string& key, uint32_t count, const std::string& where) {
  world.keys.push_back(key);
  std::string why;
  const auto reference = ReferenceOfClassKey(key, &why);
  if (!reference) {
    ++world.left_out;
    world.notes.push_back(fmt::format("{}: the class {} ({} creatures) is left out: {}", where,
                                      Quoted(key), count, why));
    return;
  }
  world.classes.push_back({key, *reference, Capped(count)});
}

// The server's log: the last census in it, as `report` reads the log.
DumpWorld ReadLogWorld(std::string_view text, const std::string& file) {
  CensusHistory history;
  ReadLogText(text, file, history);
  if (history.censuses.empty()) {
    throw NotADump(file +
                   " is a server log that holds no whole census: no warning entry of the "
                   "plug-in's logger is a dump line; run kvar.dumpdinos from the server's console, "
                   "whose dump goes into the log");
  }
  history.SortByTime();
  const Census& last = history.censuses.back();
  DumpWorld world;
  for (const ClassCount& count : last.counts) {
    AddClass(world, history.shown[count.key], count.count, fmt::format("{}, the census", file));
  }
  world.notes.insert(world.notes.begin(),
                     fmt::format("{} is a server log: its last census, of {} at line {}, is the "
                                 "world (the log holds {})",
                                 file, LocalTimeText(last.time), last.line,
                                 history.censuses.size() == 1
                                     ? std::string("no other")
                                     : fmt::format("{} censuses", history.censuses.size())));
  for (const Finding& finding : history.findings) {
    world.notes.push_back(fmt::format("{}, line {}: {}", file, finding.line, finding.message));
  }
  int64_t total = 0;
  for (const DumpedClass& dumped : world.classes) total += dumped.count;
  if (total > kMostCreaturesAtOnce) {
    throw NotADump(
        fmt::format("the last census of {} holds {} creatures, more than the {} a "
                    "simulation can hold",
                    file, total, kMostCreaturesAtOnce));
  }
  return world;
}

}  // namespace

DumpWorld ReadDumpWorld(std::string_view text, const std::string& file) {
  if (LooksLikeUtf16(text)) {
    throw NotADump(
        file +
        " is UTF-16 text, and a dump is read as the plug-in writes it, in UTF-8: save it "
        "as UTF-8 (in the editor's Save As, choose the encoding UTF-8)");
  }
  if (LooksLikeLog(text)) return ReadLogWorld(text, file);
  DumpWorld world;
  std::map<std::string, std::size_t> index;  // key -> place in world.classes
  std::set<std::string> rejected;
  int entries = 0;
  bool repeated = false;
  std::vector<std::string> unread;
  for (const NumberedDumpLine& line : ReadDumpLines(text)) {
    if (line.read.form == DumpLineForm::kOther) {
      if (!line.text.empty()) {
        unread.push_back(fmt::format("line {}: {}", line.number, Quoted(Shortened(line.text, 80))));
      }
      continue;
    }
    if (line.read.form == DumpLineForm::kCutShort) {
      unread.push_back(fmt::format("line {} breaks off before its count: {}", line.number,
                                   Quoted(Shortened(line.text, 80))));
      continue;
    }
    ++entries;
    const std::string key(line.read.key);
    world.keys.push_back(key);
    if (const auto earlier = index.find(key); earlier != index.end()) {
      // A second census in one file (two dumps in one wall-clock second): the later one holds.
      world.classes[earlier->second].count = static_cast<int>(
          std::min<uint32_t>(line.read.count, static_cast<uint32_t>(kMostCreaturesAtOnce)));
      repeated = true;
      continue;
    }
    if (rejected.count(key) != 0) continue;
    std::string why;
    const auto reference = ReferenceOfClassKey(key, &why);
    if (!reference) {
      rejected.insert(key);
      ++world.left_out;
      world.notes.push_back(fmt::format("{}, line {}: the class {} ({} creatures) is left out: {}",
                                        file, line.number, Quoted(key), line.read.count, why));
      continue;
    }
    index[key] = world.classes.size();
    world.classes.push_back({key, *reference,
                             static_cast<int>(std::min<uint32_t>(
                                 line.read.count, static_cast<uint32_t>(kMostCreaturesAtOnce)))});
  }
  // An empty world's dump is an empty file: with a dump's name, a world of no creatures.
  if (entries == 0 && unread.empty() &&
      IsDumpFileName(std::filesystem::path(file).filename().string())) {
    world.notes.push_back(file +
                          " is empty: the dump of a world without wild creatures (a new world, or "
                          "one just cleared); the run starts with none");
    return world;
  }
  if (entries == 0) {
    throw NotADump(file +
                   " is not a dump: no line has the form \"KEY. Num: N\" that "
                   "kvar.dumpdinos writes");
  }
  if (repeated) {
    world.notes.push_back(file +
                          " holds more than one census (two dumps in one wall-clock second "
                          "share a file): the last count of each class is used");
  }
  for (std::size_t i = 0; i < unread.size() && i < kLinesNamed; ++i) {
    world.notes.push_back(file + ", " + unread[i] + ": not a dump line, skipped");
  }
  if (unread.size() > kLinesNamed) {
    world.notes.push_back(fmt::format("{}: {} more lines that are not dump lines, skipped", file,
                                      unread.size() - kLinesNamed));
  }
  int64_t total = 0;
  for (const DumpedClass& dumped : world.classes) total += dumped.count;
  if (total > kMostCreaturesAtOnce) {
    throw NotADump(fmt::format("{} holds {} creatures, more than the {} a simulation can hold",
                               file, total, kMostCreaturesAtOnce));
  }
  return world;
}

std::vector<std::string> PutDumpWorld(Scenario& scenario, const DumpWorld& world) {
  std::vector<std::string> notes;
  scenario.classes.clear();
  scenario.zones.clear();
  scenario.population.clear();
  // The dumped creatures are in the world before the plug-in loads, as on the server that wrote
  // the dump: the plug-in's first load is its start-up sweep in a running world.
  scenario.load_into_running_world = true;
  scenario.load_at_hours = 0;
  std::set<std::string> references;
  for (const DumpedClass& dumped : world.classes) {
    references.insert(dumped.reference);
    scenario.classes[dumped.reference] = {kDeathsPerHour, 0};
    devserver::ZoneSpec zone;
    zone.name = dumped.key;
    zone.mix = {{dumped.reference, 1}};
    zone.target = dumped.count;
    zone.check_seconds = kZoneCheckSeconds;
    zone.first_check_seconds = 0;  // filled when the world comes up, before the plug-in loads
    zone.min_level = kLowestLevel;
    zone.max_level = kHighestLevel;
    scenario.zones.push_back(std::move(zone));
  }
  notes.push_back(fmt::format(
      "the world is the dump's: {} classes, each kept at its dumped population by a zone of its "
      "own that refills every {:g} s at levels {}-{}, its creatures leaving the wild at {:g} an "
      "hour (a dump says nothing of these)",
      world.classes.size(), kZoneCheckSeconds, kLowestLevel, kHighestLevel, kDeathsPerHour));
  std::vector<ScenarioAction> kept;
  for (ScenarioAction& action : scenario.actions) {
    using Kind = ScenarioAction::Kind;
    if (action.kind != Kind::Tame && action.kind != Kind::Kill && action.kind != Kind::Place) {
      kept.push_back(std::move(action));
      continue;
    }
    const char* what = action.kind == Kind::Tame   ? "tame"
                       : action.kind == Kind::Kill ? "kill"
                                                   : "place";
    const std::string key = ClassKeyOfReference(action.group.reference);
    if (references.count(action.group.reference) != 0) {
      notes.push_back(
          fmt::format("the scenario's {} of {} {} at hour {:g} is kept: the dump holds "
                      "the class",
                      what, action.group.count, PrintableText(key), action.at_hours));
      kept.push_back(std::move(action));
    } else {
      notes.push_back(
          fmt::format("the scenario's {} of {} {} at hour {:g} is skipped: the dump "
                      "does not hold the class",
                      what, action.group.count, PrintableText(key), action.at_hours));
    }
  }
  scenario.actions = std::move(kept);
  return notes;
}
