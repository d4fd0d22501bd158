#include "tools/simulate/simulation_report.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>

#include "tools/check/print_findings.h"
#include "tools/common/chart.h"
#include "tools/common/game_clock.h"

namespace {

std::string Optional(const std::optional<int64_t>& value, const char* none) {
  return value ? std::to_string(*value) : none;
}

std::string Signed(int64_t value) { return (value > 0 ? "+" : "") + std::to_string(value); }

std::string LevelRule(const std::optional<int32_t>& rule) {
  return rule ? fmt::format("new spawns at level {} or more are removed", *rule) : "off";
}

std::string Hours(double hours) { return fmt::format("{:g}", hours); }

std::string LimitText(const std::optional<int32_t>& limit) {
  return limit ? std::to_string(*limit) : "-";
}

// Text broken into lines of at most 100 columns at spaces; lines after the first are indented.
std::string Wrapped(const std::string& text, const std::string& indent) {
  constexpr std::size_t kColumns = 100;
  std::string out;
  // The text's own indent stays.
  std::size_t start = std::min(text.find_first_not_of(' '), text.size());
  std::string line = text.substr(0, start);
  bool fresh = true;  // nothing but an indent on the line yet
  while (start < text.size()) {
    std::size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(start, end - start);
    if (!fresh && line.size() + 1 + word.size() > kColumns) {
      out += line + "\n";
      line = indent;
      fresh = true;
    }
    if (!fresh) line += ' ';
    line += word;
    fresh = false;
    start = end + 1;
  }
  return out + line + "\n";
}

// The classes' short names for the table (the full keys with `wide`).
std::map<std::string, std::string> ShortClassNames(const SimulationResult& result, bool wide) {
  std::vector<std::string> keys;
  for (const ClassRow& row : result.rows) keys.push_back(row.ledger.key);
  return ::ShortClassNames(keys, wide);
}

// The limits a class had over the run: "4", or "4>0" when a change took it from 4 to 0.
std::string LimitsText(const ClassRow& row) {
  if (row.limits.empty()) return LimitText(row.limit);
  std::string text;
  for (const auto& limit : row.limits) text += (text.empty() ? "" : ">") + LimitText(limit);
  return text;
}

// The header: the scenario, the configuration at the start, and when it changed.
std::string Header(const SimulationSetup& setup, const SimulationResult& result) {
  std::string out = Wrapped(
      fmt::format("Kestrovar simulate: {} ({}), {} game hours{}, seed {}",
                  setup.scenario.name.empty() ? "a scenario" : setup.scenario.name,
                  setup.scenario_name, Hours(setup.scenario.hours),
                  result.interrupted ? fmt::format(" (STOPPED by Ctrl-C after {} game hours)",
                                                   Hours(result.hours_done))
                                     : "",
                  setup.seed),
      "  ");
  out += Wrapped(fmt::format("configuration at the start: {}; level rule: {}", setup.config_name,
                             LevelRule(result.level_rule_at_start)),
                 "  ");
  if (!result.config_changes.empty()) {
    std::string times;
    for (const double hours : result.config_changes) {
      if (times.find(Clock(hours)) == std::string::npos) {
        times += (times.empty() ? "" : ", ") + Clock(hours);
      }
    }
    out += Wrapped(fmt::format("the configuration in force changed during the run, at {} (see the "
                               "notes); level rule at the end: {}",
                               times, LevelRule(result.level_rule)),
                   "  ");
  }
  return out;
}

constexpr std::size_t kTableColumns = 100;

// A count in at most six characters when `compact`: 123456 as "123k", 1710805 as "1.71M".
std::string Count(int64_t value, bool compact, bool sign = false) {
  const std::string plus = sign && value > 0 ? "+" : "";
  if (!compact || (value < 100000 && value > -100000)) return plus + std::to_string(value);
  const double magnitude = std::abs(static_cast<double>(value));
  const char* unit = "k";
  double scaled = magnitude / 1e3;
  if (magnitude >= 999.5e6) {
    unit = "G";
    scaled = magnitude / 1e9;
  } else if (magnitude >= 999.5e3) {
    unit = "M";
    scaled = magnitude / 1e6;
  }
  const std::string digits = scaled >= 99.95   ? fmt::format("{:.0f}", scaled)
                             : scaled >= 9.995 ? fmt::format("{:.1f}", scaled)
                                               : fmt::format("{:.2f}", scaled);
  return (value < 0 ? "-" : plus) + digits + unit;
}

// A name cut to `width` characters: its start, '~', and its end.
std::string Shortened(const std::string& name, std::size_t width) {
  if (name.size() <= width) return name;
  const std::size_t tail = (width - 1) / 2;
  return name.substr(0, width - 1 - tail) + "~" + name.substr(name.size() - tail);
}

// How the table was fitted into 100 columns, for the key under it.
struct TableFit {
  bool compact_counts = false;  // counts of 100 000 or more in k, M and G
  bool short_limits = false;    // limit histories as first..last
  std::size_t class_width = 0;
};

std::vector<std::string> Cells(const ClassRow& row, const std::string& name, const TableFit& fit) {
  const auto& ledger = row.ledger;
  const bool compact = fit.compact_counts;
  std::string limits = LimitsText(row);
  if (fit.short_limits && row.limits.size() > 2) {
    limits = LimitText(row.limits.front()) + ">..>" + LimitText(row.limits.back());
  }
  const auto hours = [&](double value) {
    return compact && value >= 1000 ? fmt::format("{:.0f}h", value) : fmt::format("{:.1f}h", value);
  };
  return {name,
          limits,
          row.plugin_count ? Count(*row.plugin_count, compact) : "-",
          Count(ledger.live_wild, compact),
          Count(ledger.peak, compact),
          Count(ledger.spawned, compact),
          Count(ledger.gate_limit_removals, compact),
          Count(ledger.gate_level_removals, compact),
          Count(ledger.sweep_removals, compact),
          compact && row.churn_per_hour >= 1000 ? Count(std::llround(row.churn_per_hour), compact)
                                                : fmt::format("{:.1f}", row.churn_per_hour),
          row.starved_hours > 0 ? hours(row.starved_hours) : "-",
          row.drift ? Count(*row.drift, compact, true) : "-"};
}

// One row per class, its columns aligned, in at most 100 columns unless `wide`: when the numbers
// of a long run or a long history of limits would push it wider, counts are given in thousands or
// millions, limit histories as their first and last, and, last of all, class names shortened.
// Shortened names replace theirs in `names`, for the sections below the table.
std::string ClassRows(const SimulationResult& result, std::map<std::string, std::string>& names,
                      bool wide, TableFit& fit) {
  std::vector<std::vector<std::string>> table;
  std::vector<std::size_t> widths;
  const auto lay_out = [&] {
    table.assign(1, {"class", "limit", "plug-in", "live", "peak", "spawned", "rm:lim", "rm:lvl",
                     "sweep", "churn/h", "starved", "drift"});
    for (const ClassRow& row : result.rows) {
      table.push_back(Cells(row, names.at(row.ledger.key), fit));
    }
    widths.assign(table.front().size(), 0);
    for (const auto& cells : table) {
      for (std::size_t i = 0; i < cells.size(); ++i) {
        widths[i] = std::max(widths[i], cells[i].size());
      }
    }
    std::size_t total = widths.size() - 1;  // the spaces between columns
    for (const std::size_t width : widths) total += width;
    return total;
  };
  std::size_t total = lay_out();
  if (!wide && total > kTableColumns) {
    fit.compact_counts = true;
    total = lay_out();
  }
  if (!wide && total > kTableColumns) {
    fit.short_limits = true;
    total = lay_out();
  }
  if (!wide && total > kTableColumns) {
    const std::size_t room = std::max<std::size_t>(12, kTableColumns - (total - widths[0]));
    std::set<std::string> taken;
    for (std::size_t i = 1; i < table.size(); ++i) {
      std::string name = Shortened(table[i][0], room);
      // Two names cut alike are told apart by a number at their end.
      for (int n = 2; taken.count(name) > 0; ++n) {
        const std::string number = std::to_string(n);
        name = Shortened(table[i][0], room - number.size()) + number;
      }
      taken.insert(name);
      table[i][0] = name;
      names[result.rows[i - 1].ledger.key] = name;
    }
    widths[0] = std::max<std::size_t>(5, room);
  }
  std::string out;
  for (const auto& cells : table) {
    std::string text = fmt::format("{:<{}}", cells[0], widths[0]);
    for (std::size_t i = 1; i < cells.size(); ++i) {
      text += fmt::format(" {:>{}}", cells[i], widths[i]);
    }
    out += text + "\n";
  }
  fit.class_width = widths[0];
  return out;
}

std::string ColumnKey(const TableFit& fit) {
  return Wrapped(
      std::string("key: limit in force (a>b: changed during the run") +
          (fit.short_limits ? "; a>..>b: the first and the last of several" : "") +
          "; -: none); plug-in: its count; live: "
          "live wild now; peak: most live wild at once, leaving out the gate's rejected spawns in "
          "the "
          "5 s before their removal; spawned: by the zones; rm:lim, rm:lvl: removed by the gate "
          "for the limit, for the level; sweep: removed at start-up; churn/h: gate removals per "
          "game "
          "hour; starved: game hours with no live wild creature while counted at the limit; drift: "
          "plug-in minus live" +
          (fit.compact_counts ? std::string("; counts from 100 000 in k (thousands), M (millions) "
                                            "and G, exact in census.csv and in JSON")
                              : std::string()),
      "  ");
}

// Each short name with its full key.
std::string ClassLegend(const SimulationResult& result,
                        const std::map<std::string, std::string>& names, std::size_t width) {
  std::string out = "classes:\n";
  for (const ClassRow& row : result.rows) {
    out += fmt::format("  {:<{}} {}\n", names.at(row.ledger.key), width, row.ledger.key);
  }
  return out;
}

std::string StarvedClasses(const SimulationResult& result,
                           const std::map<std::string, std::string>& names) {
  std::string out;
  for (const ClassRow& row : result.rows) {
    if (row.starved.empty()) continue;
    if (out.empty()) {
      out += "\n" + Wrapped(
                        "STARVED: no live wild creature while the plug-in's count held the "
                        "class at its limit (counted creatures that were tamed, or bodies, "
                        "fill it):",
                        "  ");
    }
    std::string periods;
    for (const Starvation& period : row.starved) {
      periods +=
          (periods.empty() ? "" : ", ") + Clock(period.from_hours) + "-" + Clock(period.to_hours);
    }
    out += fmt::format("  {} {:.1f} game hours: {}\n", names.at(row.ledger.key), row.starved_hours,
                       periods);
  }
  return out;
}

std::string DriftCauses(const SimulationResult& result,
                        const std::map<std::string, std::string>& names) {
  std::string out;
  for (const ClassRow& row : result.rows) {
    if (!row.drift || row.causes.empty()) continue;
    if (out.empty())
      out += "\ndrift (the plug-in's count minus the live wild creatures), by cause:\n";
    std::string causes;
    for (const DriftCause& cause : row.causes) {
      causes +=
          fmt::format("{}{} {}", causes.empty() ? "" : ", ", Signed(cause.amount), cause.what);
    }
    out += Wrapped(fmt::format("  {} {}: {}", names.at(row.ledger.key), Signed(*row.drift), causes),
                   "    ");
  }
  return out;
}

// The gate's rejected spawns, left out of the peak, given apart.
std::string RejectedSurplus(const SimulationResult& result,
                            const std::map<std::string, std::string>& names) {
  std::string surplus;
  for (const ClassRow& row : result.rows) {
    if (row.ledger.peak_awaiting == 0) continue;
    surplus += fmt::format("{}{} {}", surplus.empty() ? "" : ", ", names.at(row.ledger.key),
                           row.ledger.peak_awaiting);
  }
  if (surplus.empty()) return {};
  return "\n" + Wrapped(
                    "the gate's rejected spawns live 5 s before their removal; the most at once, "
                    "not in peak: " +
                        surplus,
                    "  ");
}

// `--from-dump`: each dumped class, its count in the dump and in the world when the plug-in first
// loaded, and what that load's sweep removed.
struct FirstLoadLine {
  std::string key;
  int dumped = 0;
  int at_start = 0;
  std::optional<int32_t> limit;
  int64_t removed = 0;
};

std::vector<FirstLoadLine> FirstLoadLines(const SimulationSetup& setup,
                                          const SimulationResult& result) {
  std::map<std::string, const FirstLoadRow*> rows;
  for (const FirstLoadRow& row : result.first_load) rows[row.key] = &row;
  std::vector<FirstLoadLine> lines;
  for (const auto& [key, count] : setup.dumped_counts) {
    FirstLoadLine line;
    line.key = key;
    line.dumped = count;
    if (const auto row = rows.find(key); row != rows.end()) {
      line.at_start = row->second->live_wild_before;
      line.limit = row->second->limit;
      line.removed = row->second->removed;
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

std::string FirstLoadTable(const SimulationSetup& setup, const SimulationResult& result,
                           const std::map<std::string, std::string>& names) {
  if (setup.from_dump.empty()) return {};
  std::string out = "\n" + Wrapped("the plug-in's first load in the world of " + setup.from_dump +
                                       " (its start-up sweep in a running world):",
                                   "  ");
  if (result.first_load.empty() && setup.scenario.classes.empty()) {
    return out + "  the dump's world is empty: no creature for the plug-in to remove\n";
  }
  if (result.first_load.empty()) {
    return out + "  the plug-in did not load: it removed nothing\n";
  }
  const auto name = [&](const std::string& key) {
    const auto found = names.find(key);
    return found == names.end() ? key : found->second;
  };
  const std::vector<FirstLoadLine> lines = FirstLoadLines(setup, result);
  // Every cell as text first: each column is as wide as its widest cell, whatever the limit or
  // the count.
  std::vector<std::array<std::string, 5>> cells{
      {"class", "dumped", "at start", "limit", "removed"}};
  int64_t dumped = 0;
  int64_t at_start = 0;
  int64_t removed = 0;
  for (const FirstLoadLine& line : lines) {
    cells.push_back({name(line.key), std::to_string(line.dumped), std::to_string(line.at_start),
                     LimitText(line.limit), std::to_string(line.removed)});
    dumped += line.dumped;
    at_start += line.at_start;
    removed += line.removed;
  }
  cells.push_back(
      {"total", std::to_string(dumped), std::to_string(at_start), "", std::to_string(removed)});
  std::array<std::size_t, 5> widths{};
  for (const auto& row : cells) {
    for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
  }
  for (const auto& row : cells) {
    out += fmt::format("  {:<{}} {:>{}} {:>{}} {:>{}} {:>{}}\n", row[0], widths[0], row[1],
                       widths[1], row[2], widths[2], row[3], widths[3], row[4], widths[4]);
  }
  return out;
}

// A note that names a place in a file, as editors and scripts read it: a finding of the check
// ("12:00 config.json as written, line 1, column 21: warning: ... [code]") or a line of a dump
// that was left out ("DUMP, line 4: the class ... is left out").
bool IsFindingLine(const std::string& note) {
  static const std::regex finding(
      ", line [0-9]+(, column [0-9]+)?: |: (error|warning|note): .* \\[[a-z0-9-]+\\]$");
  return std::regex_search(note, finding);
}

std::string NotesAndFaults(const SimulationResult& result) {
  std::string out;
  if (!result.notes.empty()) {
    out += "\nnotes:\n";
    // Within 100 columns like the table; a finding of the check stays on one line, as editors
    // and scripts read it.
    for (const std::string& note : result.notes) {
      out += IsFindingLine(note) ? "  " + note + "\n" : Wrapped("  " + note, "    ");
    }
  }
  for (const std::string& fault : result.faults) out += "FAULT: " + fault + "\n";
  return out;
}

// On a busy machine the processor time is the fairer measure; both are shown.
std::string Speed(const SimulationResult& result) {
  const double seconds = result.cpu_seconds > 0 ? result.cpu_seconds : result.run_seconds;
  const double rate = seconds > 0 ? static_cast<double>(result.world_events) / seconds : 0;
  return fmt::format(
      "\nworld events: {} in {:.2f} s ({:.2f} s of processor time): {:.0f} events per second\n",
      result.world_events, result.run_seconds, result.cpu_seconds, rate);
}

}  // namespace

std::string FormatTable(const SimulationSetup& setup, const SimulationResult& result, bool wide) {
  std::map<std::string, std::string> names = ShortClassNames(result, wide);
  TableFit fit;
  std::string out = Header(setup, result) + "\n" + ClassRows(result, names, wide, fit);
  out += ColumnKey(fit);
  if (!wide) out += ClassLegend(result, names, fit.class_width);
  out += FirstLoadTable(setup, result, names);
  return out + StarvedClasses(result, names) + DriftCauses(result, names) +
         RejectedSurplus(result, names) + NotesAndFaults(result) + Speed(result);
}

std::string FormatJson(const SimulationSetup& setup, const SimulationResult& result) {
  nlohmann::ordered_json json;
  json["scenario"] = setup.scenario_name;
  json["name"] = setup.scenario.name;
  json["configuration"] = setup.config_name;
  json["hours"] = setup.scenario.hours;
  json["interrupted"] = result.interrupted;
  json["hours_done"] = result.hours_done;
  json["seed"] = setup.seed;
  const auto rule = [](const std::optional<int32_t>& level) {
    return level ? nlohmann::ordered_json(*level) : nlohmann::ordered_json(nullptr);
  };
  json["level_rule_at_start"] = rule(result.level_rule_at_start);
  json["level_rule"] = rule(result.level_rule);
  json["config_changes_at_hours"] = result.config_changes;
  json["classes"] = nlohmann::ordered_json::array();
  const std::map<std::string, std::string> names = ShortClassNames(result, false);
  for (const ClassRow& row : result.rows) {
    const auto& ledger = row.ledger;
    nlohmann::ordered_json entry;
    entry["key"] = ledger.key;
    entry["name"] = names.at(ledger.key);
    entry["reference"] = ledger.reference;
    entry["limit"] = row.limit ? nlohmann::ordered_json(*row.limit) : nullptr;
    entry["limits_over_the_run"] = nlohmann::ordered_json::array();
    for (const auto& limit : row.limits) entry["limits_over_the_run"].push_back(rule(limit));
    entry["plugin_count"] = row.plugin_count ? nlohmann::ordered_json(*row.plugin_count) : nullptr;
    entry["live_wild"] = ledger.live_wild;
    entry["peak"] = ledger.peak;
    entry["peak_awaiting_removal"] = ledger.peak_awaiting;
    entry["spawned"] = ledger.spawned;
    entry["admitted"] = ledger.admitted;
    entry["gate_removals_limit"] = ledger.gate_limit_removals;
    entry["gate_removals_level"] = ledger.gate_level_removals;
    entry["sweep_removals"] = ledger.sweep_removals;
    entry["deaths"] = ledger.deaths;
    entry["tames"] = ledger.tames;
    entry["arrivals"] = ledger.arrivals;
    entry["churn_per_hour"] = row.churn_per_hour;
    entry["starved_hours"] = row.starved_hours;
    entry["starved"] = nlohmann::ordered_json::array();
    for (const Starvation& period : row.starved) {
      entry["starved"].push_back(
          {{"from_hours", period.from_hours}, {"to_hours", period.to_hours}});
    }
    entry["drift"] = row.drift ? nlohmann::ordered_json(*row.drift) : nullptr;
    entry["drift_causes"] = nlohmann::ordered_json::array();
    for (const DriftCause& cause : row.causes) {
      entry["drift_causes"].push_back(
          {{"id", cause.id}, {"what", cause.what}, {"amount", cause.amount}});
    }
    json["classes"].push_back(std::move(entry));
  }
  if (!setup.from_dump.empty()) {
    nlohmann::ordered_json first_load = nlohmann::ordered_json::array();
    for (const FirstLoadLine& line : FirstLoadLines(setup, result)) {
      first_load.push_back({{"key", line.key},
                            {"dumped", line.dumped},
                            {"at_start", line.at_start},
                            {"limit", rule(line.limit)},
                            {"removed", line.removed}});
    }
    json["from_dump"] = {{"file", setup.from_dump},
                         {"plugin_loaded", !result.first_load.empty()},
                         {"first_load", std::move(first_load)}};
  }
  json["notes"] = result.notes;
  json["config_errors"] = result.config_errors;
  // Each configuration checked in the run, with the check's findings as `kestrovar check --format
  // json` gives them.
  json["configuration_checks"] = nlohmann::ordered_json::array();
  for (const ConfigCheck& check : result.config_checks) {
    std::ostringstream findings;
    PrintFindings(check.findings, FindingsFormat::kJson, findings);
    json["configuration_checks"].push_back(
        {{"file", check.file},
         {"at_hours", check.at_hours ? nlohmann::ordered_json(*check.at_hours) : nullptr},
         {"findings", nlohmann::ordered_json::parse(findings.str())}});
  }
  json["faults"] = result.faults;
  json["world_events"] = result.world_events;
  json["run_seconds"] = result.run_seconds;
  json["cpu_seconds"] = result.cpu_seconds;
  return json.dump(2) + "\n";
}

std::string CensusCsv(const SimulationResult& result) {
  std::string out = "hours,class_key,limit,plugin_count,live_wild,awaiting_removal\n";
  for (const CensusSample& sample : result.samples) {
    out +=
        fmt::format("{},{},{},{},{},{}\n", Hours(sample.hours), CsvField(sample.key),
                    sample.limit ? std::to_string(*sample.limit) : "",
                    Optional(sample.plugin_count, ""), sample.live_wild, sample.awaiting_removal);
  }
  return out;
}

namespace {

// The chart's layout, in pixels of the 1000-pixel-wide picture: the title and legend on top, then
// one block per panel (its title, the plot, its hour labels), then the x axis's name.
constexpr double kChartWidth = 1000;
constexpr double kChartTop = 78;
constexpr double kNoteHeight = 26;
constexpr double kPanelHeight = 270;
constexpr double kPanelTitle = 30;   // above each plot: the panel's title
constexpr double kPanelLabels = 36;  // below each plot: its hour labels, clear of the next title
constexpr double kChartBottom = 24;
constexpr double kPlotLeft = 0.07;
constexpr double kPlotRight = 0.97;
// Marks that repeat every day are drawn as short ticks along each panel's top when a day is
// narrower than this on the chart: as full lines they would merge into a grey smear.
constexpr double kDayPixelsForLines = 20;

// The minute of the day of a game hour, as "12:00".
std::string TimeOfDay(double hours) {
  const auto minutes = static_cast<int64_t>(std::llround(hours * 60)) % (24 * 60);
  return fmt::format("{}:{:02}", minutes / 60, minutes % 60);
}

struct ChartMarks {
  std::vector<RunMark> once;     // drawn as a line with its name
  std::vector<double> repeated;  // hours of the marks that repeat every day
  std::string repeated_note;     // "12:00 write+reload (100 days), 16:00 unload+load (100 days)"
};

// Marks of the same kind at the same time of day on three days or more repeat; the rest happen
// once.
ChartMarks SortMarks(const std::vector<RunMark>& marks) {
  std::map<std::pair<std::string, std::string>, std::set<int64_t>> days;  // (time, what) -> days
  for (const RunMark& mark : marks) {
    days[{TimeOfDay(mark.hours), mark.what}].insert(
        static_cast<int64_t>(std::floor(std::llround(mark.hours * 60) / (24.0 * 60))));
  }
  ChartMarks sorted;
  std::map<std::string, std::pair<std::string, std::size_t>> by_time;  // time -> names, days
  for (const RunMark& mark : marks) {
    const std::string time = TimeOfDay(mark.hours);
    const std::set<int64_t>& seen = days[{time, mark.what}];
    if (seen.size() < 3) {
      sorted.once.push_back(mark);
      continue;
    }
    sorted.repeated.push_back(mark.hours);
    auto& [names, count] = by_time[time];
    if (("+" + names + "+").find("+" + mark.what + "+") == std::string::npos) {
      names += (names.empty() ? "" : "+") + mark.what;
    }
    count = std::max(count, seen.size());
  }
  // In order of the time of day.
  std::vector<std::pair<int64_t, std::string>> times;
  for (const auto& [time, named] : by_time) {
    const std::size_t colon = time.find(':');
    times.push_back({std::stoll(time.substr(0, colon)) * 60 + std::stoll(time.substr(colon + 1)),
                     fmt::format("{} {} ({} days)", time, named.first, named.second)});
  }
  std::sort(times.begin(), times.end());
  for (const auto& [minute, text] : times) {
    sorted.repeated_note += (sorted.repeated_note.empty() ? "" : ", ") + text;
  }
  return sorted;
}

// Starved stretches: a pale orange behind the lines.
constexpr const char* kStarvedColour = "#f59b2f";

}  // namespace

std::string GnuplotScript(const SimulationResult& result, const std::string& svg_name) {
  // Classes that had a limit at some sample, in key order.
  std::set<std::string> limited;
  for (const CensusSample& sample : result.samples) {
    if (sample.limit) limited.insert(sample.key);
  }
  if (limited.empty()) return {};
  std::string out;
  std::size_t index = 0;
  std::map<std::string, int64_t> highest;
  // Columns: hours, live wild that stay (the gate's rejected spawns left out: they are gone 5 s
  // after their spawn), the plug-in's count, the limit.
  for (const std::string& key : limited) {
    out += fmt::format("$class{} << EOD\n", index++);
    int64_t& top = highest[key];
    for (const CensusSample& sample : result.samples) {
      if (sample.key != key) continue;
      const int stay = sample.live_wild - sample.awaiting_removal;
      top = std::max<int64_t>({top, stay, sample.plugin_count.value_or(0),
                               static_cast<int64_t>(sample.limit.value_or(0))});
      out += fmt::format("{} {} {} {}\n", Hours(sample.hours), stay,
                         Optional(sample.plugin_count, "NaN"),
                         sample.limit ? std::to_string(*sample.limit) : "NaN");
    }
    out += "EOD\n";
  }
  std::map<std::string, const ClassRow*> rows;
  bool any_starved = false;
  for (const ClassRow& row : result.rows) {
    rows[row.ledger.key] = &row;
    if (limited.count(row.ledger.key) > 0 && !row.starved.empty()) any_starved = true;
  }

  const double span = result.samples.empty() ? 1 : std::max(result.samples.back().hours, 1e-9);
  const ChartMarks marks = SortMarks(result.marks);
  const double plot_pixels = kChartWidth * (kPlotRight - kPlotLeft);
  const bool repeated_as_ticks = plot_pixels * 24 / span < kDayPixelsForLines;
  const double top_band = kChartTop + (marks.repeated_note.empty() ? 0 : kNoteHeight);
  const std::size_t panels = limited.size();
  const double height = top_band + kPanelHeight * static_cast<double>(panels) + kChartBottom;
  const auto screen = [&](double pixels_from_top) { return 1.0 - pixels_from_top / height; };

  out += fmt::format(
      "set terminal svg size {},{} dynamic noenhanced background rgb 'white' font 'sans,11'\n",
      kChartWidth, height);
  out += "set output " + GnuplotString(svg_name) + "\n";
  // Each panel is placed by hand: its title above it and its hour labels below it each have a
  // band of their own, so that no title sits on the labels of the panel above.
  out += "set multiplot\n";
  out += fmt::format(
      "set label 1 \"Live wild creatures that stay, the plug-in's count and the limit, by game "
      "hour\" at screen 0.5, screen {:.4f} center font 'sans,12'\n",
      screen(18));
  if (!marks.repeated_note.empty()) {
    out += fmt::format(
        "set label 2 {} at screen 0.5, screen {:.4f} center font 'sans,10' tc rgb "
        "'#555555'\n",
        GnuplotString("marks at the same time each day: " + marks.repeated_note +
                      (repeated_as_ticks ? "; drawn as ticks along each panel's top"
                                         : "; drawn as dotted lines")),
        screen(kChartTop + 4));
  }
  out += fmt::format("set lmargin at screen {}\nset rmargin at screen {}\n", kPlotLeft, kPlotRight);
  out += "set grid\nset ylabel 'creatures'\n";
  out += fmt::format("set xrange [0:{}]\n", Hours(span));
  // The dotted marks: once-only ones full height; repeated ones full height too on a short run, as
  // ticks along the top on a long one. Each time once.
  std::string arrows;
  std::set<std::string> drawn;
  for (const RunMark& mark : marks.once) {
    if (!drawn.insert(Hours(mark.hours)).second) continue;
    arrows += fmt::format(
        "set arrow from {0}, graph 0 to {0}, graph 1 nohead dt 3 lw 1 lc rgb '#555555' back\n",
        Hours(mark.hours));
  }
  for (const double hours : marks.repeated) {
    if (!drawn.insert(Hours(hours)).second) continue;
    arrows += repeated_as_ticks
                  ? fmt::format(
                        "set arrow from {0}, graph 0.94 to {0}, graph 1 nohead lw 1 lc "
                        "rgb '#888888' front\n",
                        Hours(hours))
                  : fmt::format(
                        "set arrow from {0}, graph 0 to {0}, graph 1 nohead dt 3 lw 1 lc "
                        "rgb '#555555' back\n",
                        Hours(hours));
  }
  index = 0;
  for (const std::string& key : limited) {
    const bool first = index == 0;
    const double block = top_band + kPanelHeight * static_cast<double>(index);
    out += fmt::format("set tmargin at screen {:.4f}\nset bmargin at screen {:.4f}\n",
                       screen(block + kPanelTitle), screen(block + kPanelHeight - kPanelLabels));
    // Whole creatures on the y axis, about five steps; the range starts a little below 0 so that
    // a line at 0 (no creature, or a limit of 0) shows above the axis.
    const int64_t top = std::max<int64_t>(highest[key], 1);
    const int64_t step = std::max<int64_t>(1, (top + 4) / 5);
    const int64_t y_top = (top / step + 1) * step;
    out += fmt::format("set yrange [{:g}:{}]\nset ytics 0,{}\nset mytics 1\n",
                       -0.04 * static_cast<double>(y_top), y_top, step);
    out += "set title " + GnuplotString(key) + "\n";
    out += "unset arrow\nunset object\n" + arrows;
    // Starvation: shaded where the class had no live wild creature while counted at its limit.
    const auto row = rows.find(key);
    if (row != rows.end()) {
      for (const Starvation& period : row->second->starved) {
        out += fmt::format(
            "set object rect from {}, graph 0 to {}, graph 1 behind fc rgb '{}' fs transparent "
            "solid 0.5 "
            "noborder\n",
            Hours(period.from_hours), Hours(period.to_hours), kStarvedColour);
      }
    }
    out += index + 1 == panels ? "set xlabel 'game hours'\n" : "unset xlabel\n";
    std::string starved_key;
    if (first) {
      // One legend for the whole chart, and the marks that happen once named in the first panel.
      out += fmt::format("set key horizontal at screen 0.5, screen {:.4f} center center\n",
                         screen(48));
      double last = -1e9;
      for (const RunMark& mark : marks.once) {
        // Marks closer than 2 % of the run share one label.
        if (mark.hours - last < span * 0.02) continue;
        last = mark.hours;
        std::vector<std::string> names;
        for (const RunMark& other : marks.once) {
          if (other.hours >= mark.hours && other.hours - mark.hours < span * 0.02 &&
              std::find(names.begin(), names.end(), other.what) == names.end()) {
            names.push_back(other.what);
          }
        }
        std::string text;
        for (const std::string& name : names) text += (text.empty() ? "" : "+") + name;
        // Upright beside its line, so that labels of marks close together do not overlap; right
        // of it near the y axis.
        out += fmt::format(
            "set label {} at {}, graph 0.97 rotate by 90 right offset {},0 font 'sans,9' "
            "tc rgb '#555555'\n",
            GnuplotString(text), Hours(mark.hours), mark.hours < span * 0.03 ? "1.2" : "-0.6");
      }
      if (any_starved) {
        starved_key = fmt::format(
            ", keyentry with boxes fs transparent solid 0.5 noborder fc rgb '{}' title 'starved'",
            kStarvedColour);
      }
    } else {
      out += "unset key\nunset label\n";
    }
    // The limit is a wide pale band under the lines, so that it shows where the count equals it.
    out += fmt::format(
        "plot $class{0} using 1:4 with steps lw 7 lc rgb '#f4a6a6' title 'limit', "
        "$class{0} using 1:3 with steps lw 2 lc rgb '#1b7837' title \"plug-in's count\", "
        "$class{0} using 1:2 with steps lw 1.5 lc rgb '#5e3c99' title 'live wild that stay'{1}\n",
        index++, starved_key);
  }
  out += "unset multiplot\n";
  return out;
}
