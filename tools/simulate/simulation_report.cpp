#include "tools/simulate/simulation_report.h"

#include <fmt/format.h>

#include <algorithm>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

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

}  // namespace

std::string FormatTable(const SimulationSetup& setup, const SimulationResult& result) {
  std::string out = fmt::format("Kestrovar simulate: {} ({}), {} game hours, seed {}\n",
                                setup.scenario.name.empty() ? "a scenario" : setup.scenario.name,
                                setup.scenario_name, Hours(setup.scenario.hours), setup.seed);
  out += fmt::format("configuration: {}; level rule in force: {}\n\n", setup.config_name,
                     LevelRule(result.level_rule));

  std::size_t width = std::string("class key").size();
  for (const ClassRow& row : result.rows) width = std::max(width, row.ledger.key.size());
  const auto line = [&](const std::string& key, const std::vector<std::string>& cells) {
    std::string text = fmt::format("{:<{}}", key, width);
    static const std::size_t widths[] = {6, 8, 5, 5, 8, 9, 11, 11, 6, 8, 6};
    for (std::size_t i = 0; i < cells.size(); ++i)
      text += fmt::format(" {:>{}}", cells[i], widths[i]);
    out += text + "\n";
  };
  line("class key", {"limit", "plug-in", "live", "peak", "spawned", "admitted", "gate:limit",
                     "gate:level", "sweep", "churn/h", "drift"});
  for (const ClassRow& row : result.rows) {
    const auto& ledger = row.ledger;
    line(ledger.key,
         {row.limit ? std::to_string(*row.limit) : "-", Optional(row.plugin_count, "-"),
          std::to_string(ledger.live_wild), std::to_string(ledger.peak),
          std::to_string(ledger.spawned), std::to_string(ledger.admitted),
          std::to_string(ledger.gate_limit_removals), std::to_string(ledger.gate_level_removals),
          std::to_string(ledger.sweep_removals), fmt::format("{:.1f}", row.churn_per_hour),
          row.drift ? Signed(*row.drift) : "-"});
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
    out += fmt::format("  {} {}: {}\n", row.ledger.key, Signed(*row.drift), causes);
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
  json["seed"] = setup.seed;
  json["level_rule"] = result.level_rule ? nlohmann::ordered_json(*result.level_rule) : nullptr;
  json["classes"] = nlohmann::ordered_json::array();
  for (const ClassRow& row : result.rows) {
    const auto& ledger = row.ledger;
    nlohmann::ordered_json entry;
    entry["key"] = ledger.key;
    entry["reference"] = ledger.reference;
    entry["limit"] = row.limit ? nlohmann::ordered_json(*row.limit) : nullptr;
    entry["plugin_count"] = row.plugin_count ? nlohmann::ordered_json(*row.plugin_count) : nullptr;
    entry["live_wild"] = ledger.live_wild;
    entry["peak"] = ledger.peak;
    entry["spawned"] = ledger.spawned;
    entry["admitted"] = ledger.admitted;
    entry["gate_removals_limit"] = ledger.gate_limit_removals;
    entry["gate_removals_level"] = ledger.gate_level_removals;
    entry["sweep_removals"] = ledger.sweep_removals;
    entry["deaths"] = ledger.deaths;
    entry["tames"] = ledger.tames;
    entry["arrivals"] = ledger.arrivals;
    entry["churn_per_hour"] = row.churn_per_hour;
    entry["drift"] = row.drift ? nlohmann::ordered_json(*row.drift) : nullptr;
    entry["drift_causes"] = nlohmann::ordered_json::object();
    for (const DriftCause& cause : row.causes) entry["drift_causes"][cause.what] = cause.amount;
    json["classes"].push_back(std::move(entry));
  }
  json["notes"] = result.notes;
  json["faults"] = result.faults;
  json["world_events"] = result.world_events;
  json["run_seconds"] = result.run_seconds;
  json["cpu_seconds"] = result.cpu_seconds;
  return json.dump(2) + "\n";
}

std::string CensusCsv(const SimulationResult& result) {
  std::string out = "hours,class_key,limit,plugin_count,live_wild\n";
  for (const CensusSample& sample : result.samples) {
    out += fmt::format("{},{},{},{},{}\n", Hours(sample.hours), CsvField(sample.key),
                       sample.limit ? std::to_string(*sample.limit) : "",
                       Optional(sample.plugin_count, ""), sample.live_wild);
  }
  return out;
}

std::string GnuplotScript(const SimulationResult& result, const std::string& svg_path) {
  // Classes that had a limit at some sample, in key order.
  std::set<std::string> limited;
  for (const CensusSample& sample : result.samples) {
    if (sample.limit) limited.insert(sample.key);
  }
  if (limited.empty()) return {};
  std::string out;
  std::size_t index = 0;
  for (const std::string& key : limited) {
    out += fmt::format("$class{} << EOD\n", index++);
    for (const CensusSample& sample : result.samples) {
      if (sample.key != key) continue;
      out += fmt::format("{} {} {} {}\n", Hours(sample.hours), sample.live_wild,
                         Optional(sample.plugin_count, "NaN"),
                         sample.limit ? std::to_string(*sample.limit) : "NaN");
    }
    out += "EOD\n";
  }
  const std::size_t panels = limited.size();
  out += fmt::format(
      "set terminal svg size 1000,{} dynamic noenhanced background rgb 'white' font 'sans,11'\n",
      60 + 260 * panels);
  out += "set output " + GnuplotString(svg_path) + "\n";
  out += fmt::format(
      "set multiplot layout {},1 title \"Live wild creatures, the plug-in's count and the limit, "
      "by game hour\"\n",
      panels);
  out += "set key outside right top\nset grid\nset xlabel 'game hours'\nset yrange [0:*]\n";
  out += fmt::format("set xrange [0:{}]\n",
                     Hours(result.samples.empty() ? 1 : result.samples.back().hours));
  index = 0;
  for (const std::string& key : limited) {
    out += "set title " + GnuplotString(key) + "\n";
    out += fmt::format(
        "plot $class{0} using 1:4 with steps lw 2 dt 2 lc rgb 'red' title 'limit', "
        "$class{0} using 1:3 with steps lw 2 lc rgb '#2a9d4b' title \"plug-in's count\", "
        "$class{0} using 1:2 with steps lw 1.5 lc rgb '#6a3d9a' title 'live wild'\n",
        index++);
  }
  out += "unset multiplot\n";
  return out;
}
