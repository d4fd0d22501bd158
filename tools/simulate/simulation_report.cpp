#include "tools/simulate/simulation_report.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "tools/check/print_findings.h"
#include "tools/common/game_clock.h"

namespace {

std::string Optional(const std::optional<int64_t>& value, const char* none) {
  return value ? std::to_string(*value) : none;
}

std::string Signed(int64_t value) { return (value > 0 ? "+" : "") + std::to_string(value); }

std::string LevelRule(const std::optional<int32_t>& rule) {
  return rule ? fmt::format("new spawns at level {} or more are removed", *rule) : "off";
}

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

std::string GnuplotString(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

std::string Hours(double hours) { return fmt::format("{:g}", hours); }

std::string LimitText(const std::optional<int32_t>& limit) {
  return limit ? std::to_string(*limit) : "-";
}

// Text broken into lines of at most 100 columns at spaces; lines after the first are indented.
std::string Wrapped(const std::string& text, const std::string& indent) {
  constexpr std::size_t kColumns = 100;
  std::string out;
  std::string line;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(start, end - start);
    if (!line.empty() && line.size() + 1 + word.size() > kColumns) {
      out += line + "\n";
      line = indent;
    } else if (!line.empty() && line != indent) {
      line += ' ';
    }
    line += word;
    start = end + 1;
  }
  return out + line + "\n";
}

// A class's name for the table: the last element of its key's path ("Strider_Character" for
// ".../Strider_Character.Strider_Character"), with as many elements before it as it takes to tell
// it from the others. The full key with `wide`.
std::map<std::string, std::string> ShortClassNames(const SimulationResult& result, bool wide) {
  std::map<std::string, std::vector<std::string>> elements;
  for (const ClassRow& row : result.rows) {
    std::string path = row.ledger.key;
    if (path.rfind("Blueprint'", 0) == 0) path = path.substr(10);
    if (!path.empty() && path.back() == '\'') path.pop_back();
    std::vector<std::string>& parts = elements[row.ledger.key];
    std::size_t start = 0;
    while (start <= path.size()) {
      std::size_t end = path.find('/', start);
      if (end == std::string::npos) end = path.size();
      if (end > start) parts.push_back(path.substr(start, end - start));
      start = end + 1;
    }
    if (parts.empty()) parts.push_back(row.ledger.key);
    std::string& last = parts.back();
    const std::size_t dot = last.find('.');
    if (dot != std::string::npos && last.substr(dot + 1) == last.substr(0, dot)) last.resize(dot);
  }
  std::map<std::string, std::string> names;
  for (const auto& [key, parts] : elements) names[key] = wide ? key : parts.back();
  if (wide) return names;
  for (std::size_t depth = 2;; ++depth) {
    std::map<std::string, int> uses;
    for (const auto& [key, name] : names) ++uses[name];
    bool clash = false;
    for (auto& [key, name] : names) {
      if (uses[name] < 2) continue;
      const auto& parts = elements[key];
      if (depth > parts.size()) {
        name = key;
        continue;
      }
      clash = true;
      name.clear();
      for (std::size_t i = parts.size() - depth; i < parts.size(); ++i) {
        name += (name.empty() ? "" : "/") + parts[i];
      }
    }
    if (!clash) return names;
  }
}

// The limits a class had over the run: "4", or "4>0" when a change took it from 4 to 0.
std::string LimitsText(const ClassRow& row) {
  if (row.limits.empty()) return LimitText(row.limit);
  std::string text;
  for (const auto& limit : row.limits) text += (text.empty() ? "" : ">") + LimitText(limit);
  return text;
}

}  // namespace

std::string FormatTable(const SimulationSetup& setup, const SimulationResult& result, bool wide) {
  std::string out = Wrapped(
      fmt::format("Kestrovar simulate: {} ({}), {} game hours{}, seed {}",
                  setup.scenario.name.empty() ? "a scenario" : setup.scenario.name,
                  setup.scenario_name, Hours(setup.scenario.hours),
                  result.interrupted
                      ? fmt::format(" (STOPPED by Ctrl-C after {})", Hours(result.hours_done))
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
  out += "\n";

  const std::map<std::string, std::string> names = ShortClassNames(result, wide);
  std::vector<std::vector<std::string>> table;
  table.push_back({"class", "limit", "plug-in", "live", "peak", "spawned", "rm:lim", "rm:lvl",
                   "sweep", "churn/h", "starved", "drift"});
  for (const ClassRow& row : result.rows) {
    const auto& ledger = row.ledger;
    table.push_back({names.at(ledger.key), LimitsText(row), Optional(row.plugin_count, "-"),
                     std::to_string(ledger.live_wild), std::to_string(ledger.peak),
                     std::to_string(ledger.spawned), std::to_string(ledger.gate_limit_removals),
                     std::to_string(ledger.gate_level_removals),
                     std::to_string(ledger.sweep_removals),
                     fmt::format("{:.1f}", row.churn_per_hour),
                     row.starved_hours > 0 ? fmt::format("{:.1f}h", row.starved_hours) : "-",
                     row.drift ? Signed(*row.drift) : "-"});
  }
  std::vector<std::size_t> widths(table.front().size(), 0);
  for (const auto& cells : table) {
    for (std::size_t i = 0; i < cells.size(); ++i) widths[i] = std::max(widths[i], cells[i].size());
  }
  for (const auto& cells : table) {
    std::string text = fmt::format("{:<{}}", cells[0], widths[0]);
    for (std::size_t i = 1; i < cells.size(); ++i) {
      text += fmt::format(" {:>{}}", cells[i], widths[i]);
    }
    out += text + "\n";
  }
  out += Wrapped(
      "key: limit in force (a>b: changed during the run; -: none); plug-in: its count; live: "
      "live wild now; peak: most live wild at once, leaving out the gate's rejected spawns in the "
      "5 s before their removal; spawned: by the zones; rm:lim, rm:lvl: removed by the gate "
      "for the limit, for the level; sweep: removed at start-up; churn/h: gate removals per game "
      "hour; starved: game hours with no live wild creature while counted at the limit; drift: "
      "plug-in minus live",
      "  ");
  if (!wide) {
    out += "classes:\n";
    for (const ClassRow& row : result.rows) {
      out += fmt::format("  {:<{}} {}\n", names.at(row.ledger.key), widths[0], row.ledger.key);
    }
  }

  bool any_starved = false;
  for (const ClassRow& row : result.rows) {
    if (row.starved.empty()) continue;
    if (!any_starved) {
      out += "\n" + Wrapped(
                        "STARVED: no live wild creature while the plug-in's count held the "
                        "class at its limit (counted creatures that were tamed, or bodies, "
                        "fill it):",
                        "  ");
    }
    any_starved = true;
    std::string periods;
    for (const Starvation& period : row.starved) {
      periods +=
          (periods.empty() ? "" : ", ") + Clock(period.from_hours) + "-" + Clock(period.to_hours);
    }
    out += fmt::format("  {} {:.1f} game hours: {}\n", names.at(row.ledger.key), row.starved_hours,
                       periods);
  }

  bool any_drift = false;
  for (const ClassRow& row : result.rows) {
    if (!row.drift || row.causes.empty()) continue;
    if (!any_drift)
      out += "\ndrift (the plug-in's count minus the live wild creatures), by cause:\n";
    any_drift = true;
    std::string causes;
    for (const DriftCause& cause : row.causes) {
      causes +=
          fmt::format("{}{} {}", causes.empty() ? "" : ", ", Signed(cause.amount), cause.what);
    }
    out += Wrapped(fmt::format("  {} {}: {}", names.at(row.ledger.key), Signed(*row.drift), causes),
                   "    ");
  }
  bool any_surplus = false;
  for (const ClassRow& row : result.rows) any_surplus |= row.ledger.peak_awaiting > 0;
  if (any_surplus) {
    std::string surplus;
    for (const ClassRow& row : result.rows) {
      if (row.ledger.peak_awaiting == 0) continue;
      surplus += fmt::format("{}{} {}", surplus.empty() ? "" : ", ", names.at(row.ledger.key),
                             row.ledger.peak_awaiting);
    }
    out += "\n" + Wrapped(
                      "the gate's rejected spawns live 5 s before their removal; the most at "
                      "once, not in peak: " +
                          surplus,
                      "  ");
  }
  if (!result.notes.empty()) {
    out += "\nnotes:\n";
    for (const std::string& note : result.notes) out += "  " + note + "\n";
  }
  for (const std::string& fault : result.faults) out += "FAULT: " + fault + "\n";
  // On a busy machine the processor time is the fairer measure; both are shown.
  const double seconds = result.cpu_seconds > 0 ? result.cpu_seconds : result.run_seconds;
  const double rate = seconds > 0 ? static_cast<double>(result.world_events) / seconds : 0;
  out += fmt::format(
      "\nworld events: {} in {:.2f} s ({:.2f} s of processor time): {:.0f} events per second\n",
      result.world_events, result.run_seconds, result.cpu_seconds, rate);
  return out;
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
  const std::size_t panels = limited.size();
  const double height = static_cast<double>(90 + 250 * panels);
  out += fmt::format(
      "set terminal svg size 1000,{} dynamic noenhanced background rgb 'white' font 'sans,11'\n",
      height);
  out += "set output " + GnuplotString(svg_name) + "\n";
  // The chart's title at the top, the legend under it, then the panels.
  out += fmt::format(
      "set multiplot layout {},1 title \"Live wild creatures that stay, the plug-in's count and "
      "the limit, by game hour\" margins 0.07,0.97,{:.3f},{:.3f} spacing 0,{:.3f}\n",
      panels, 45.0 / height, 1.0 - 85.0 / height, 45.0 / height);
  out += "set grid\nset ylabel 'creatures'\n";
  out += fmt::format("set xrange [0:{}]\n",
                     Hours(result.samples.empty() ? 1 : result.samples.back().hours));
  // Reloads, loads, unloads, configuration writes and the cheat, as dotted vertical lines.
  std::string marks;
  for (const RunMark& mark : result.marks) {
    marks += fmt::format(
        "set arrow from {0}, graph 0 to {0}, graph 1 nohead dt 3 lw 1 lc rgb '#555555' back\n",
        Hours(mark.hours));
  }
  index = 0;
  for (const std::string& key : limited) {
    const bool first = index == 0;
    // Whole creatures on the y axis, about five steps.
    const int64_t top = std::max<int64_t>(highest[key], 1);
    const int64_t step = std::max<int64_t>(1, (top + 4) / 5);
    out += fmt::format("set yrange [0:{}]\nset ytics 0,{}\nset mytics 1\n", (top / step + 1) * step,
                       step);
    out += "set title " + GnuplotString(key) + "\n";
    out += "unset arrow\nunset label\n" + marks;
    // Game hours under the last panel only, so that no label meets the next panel's title.
    out += index + 1 == panels ? "set xlabel 'game hours'\n" : "unset xlabel\n";
    if (first) {
      // One legend for the whole chart, and the marks named once, in the first panel.
      out += fmt::format("set key horizontal at screen 0.5, screen {:.3f} center center\n",
                         1.0 - 40.0 / height);
      double last = -1e9;
      const double span = result.samples.empty() ? 1 : result.samples.back().hours;
      for (const RunMark& mark : result.marks) {
        // Marks closer than 2 % of the run share one label.
        if (mark.hours - last < span * 0.02) continue;
        last = mark.hours;
        std::vector<std::string> names;
        for (const RunMark& other : result.marks) {
          if (other.hours >= mark.hours && other.hours - mark.hours < span * 0.02 &&
              std::find(names.begin(), names.end(), other.what) == names.end()) {
            names.push_back(other.what);
          }
        }
        std::string text;
        for (const std::string& name : names) text += (text.empty() ? "" : "+") + name;
        // Upright beside its line, so that labels of marks close together do not overlap.
        out += fmt::format(
            "set label {} at {}, graph 0.97 rotate by 90 right offset -0.6,0 font 'sans,9' "
            "tc rgb '#555555'\n",
            GnuplotString(text), Hours(mark.hours));
      }
    } else {
      out += "unset key\n";
    }
    // The limit is a wide pale band under the lines, so that it shows where the count equals it.
    out += fmt::format(
        "plot $class{0} using 1:4 with steps lw 7 lc rgb '#f4a6a6' title 'limit', "
        "$class{0} using 1:3 with steps lw 2 lc rgb '#1b7837' title \"plug-in's count\", "
        "$class{0} using 1:2 with steps lw 1.5 lc rgb '#5e3c99' title 'live wild that stay'\n",
        index++);
  }
  out += "unset multiplot\n";
  return out;
}
