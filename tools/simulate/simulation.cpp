#include "tools/simulate/simulation.h"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>

#include "tools/scenario/scenario_world.h"
#include "tools/simulate/config_in_force.h"
#include "tools/simulate/progress_bar.h"

namespace {

namespace fs = std::filesystem;

std::string FoldCase(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string ReadWholeFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteWholeFile(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string Clock(double hours) {
  const auto minutes = static_cast<int64_t>(std::llround(hours * 60));
  return fmt::format("{}:{:02}", minutes / 60, minutes % 60);
}

class Simulation {
 public:
  explicit Simulation(const SimulationSetup& setup) : setup_(setup) {}

  SimulationResult Run() {
    const Scenario& scenario = setup_.scenario;
    plugin_dir_ = fs::path(setup_.server_dir) / "ArkApi" / "Plugins" / "Kestrovar";
    fs::create_directories(plugin_dir_);
    WriteWholeFile(plugin_dir_ / "config.json", setup_.config_text);

    devserver::ServerOptions options;
    options.server_dir = setup_.server_dir;
    options.log_to_stdout = false;
    options.record_events = false;
    options.corpse_decay_seconds = scenario.corpse_decay_seconds;
    devserver::StartServer(options);
    devserver::SetOutput([this](std::string_view line) { output_.emplace_back(line); });

    const auto started = std::chrono::steady_clock::now();
    const std::clock_t cpu_started = std::clock();
    PlaceScenarioPopulation(scenario, setup_.seed);
    if (!scenario.load_into_running_world) Load();
    devserver::InitGame();
    OpenScenarioZones(scenario);

    std::vector<ScenarioAction> actions = scenario.actions;
    if (scenario.load_into_running_world) {
      ScenarioAction load;
      load.kind = ScenarioAction::Kind::Load;
      load.at_hours = scenario.load_at_hours;
      const auto first_later = std::find_if(actions.begin(), actions.end(), [&](const auto& a) {
        return a.at_hours >= load.at_hours;
      });
      actions.insert(first_later, load);
    }

    const double step_hours = scenario.sample_minutes / 60.0;
    const auto samples = static_cast<int64_t>(std::floor(scenario.hours / step_hours + 1e-9));
    std::size_t next_action = 0;
    ProgressBar progress(setup_.progress, scenario.hours);
    for (int64_t sample = 0; sample <= samples; ++sample) {
      const double sample_hours = static_cast<double>(sample) * step_hours;
      while (next_action < actions.size() && actions[next_action].at_hours <= sample_hours) {
        AdvanceTo(actions[next_action].at_hours);
        Perform(actions[next_action++]);
      }
      AdvanceTo(sample_hours);
      Sample(sample_hours);
      progress.Show(sample_hours);
    }
    while (next_action < actions.size() && actions[next_action].at_hours <= scenario.hours) {
      AdvanceTo(actions[next_action].at_hours);
      Perform(actions[next_action++]);
    }
    AdvanceTo(scenario.hours);
    if (next_action < actions.size()) {
      Note(std::to_string(actions.size() - next_action) +
           " of the scenario's actions fall after the end of the run and were not run");
    }
    progress.Finish();
    result_.world_events = devserver::WorldEventCount();
    result_.run_seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    result_.cpu_seconds = static_cast<double>(std::clock() - cpu_started) / CLOCKS_PER_SEC;

    MakeRows();
    devserver::StopServer();
    result_.faults = devserver::Faults();
    return std::move(result_);
  }

 private:
  void AdvanceTo(double hours) {
    // Advancing by 0 runs what is due now, such as the zones' first checks.
    devserver::Advance(std::max(0.0, hours * 3600.0 - devserver::Now()));
  }

  void Note(const std::string& text) {
    result_.notes.push_back(Clock(devserver::Now() / 3600.0) + " " + text);
  }

  // The plug-in read its configuration at load or at a reload that said so.
  void TakeConfigFromFile() {
    config_ = ReadConfigInForce(ReadWholeFile(plugin_dir_ / "config.json"));
    devserver::SetLevelRuleInForce(config_.level_rule);
  }

  void Load() {
    const std::string error = devserver::LoadPlugin(setup_.plugin);
    if (!error.empty()) throw std::runtime_error(error);
    TakeConfigFromFile();
    if (!config_.readable) {
      config_ = {};
      devserver::SetLevelRuleInForce(std::nullopt);
      Note(
          "the plug-in could not read config.json at load: it does nothing until it is loaded "
          "again");
    }
  }

  std::vector<std::string> Command(const std::string& text, Channel via) {
    std::vector<std::string> replies;
    if (via == Channel::Rcon) {
      for (auto& reply : devserver::RconRequest(text, next_rcon_id_++)) {
        replies.push_back(std::move(reply.text));
      }
    } else {
      output_.clear();
      devserver::ConsoleCommand(text);
      replies = std::move(output_);
      output_.clear();
    }
    return replies;
  }

  void Perform(const ScenarioAction& action) {
    using Kind = ScenarioAction::Kind;
    const char* via = action.via == Channel::Rcon ? " over RCON" : " from the console";
    switch (action.kind) {
      case Kind::Write:
        WriteWholeFile(plugin_dir_ / action.file, action.text);
        Note("an operator wrote " + action.file);
        break;
      case Kind::Reload: {
        bool reloaded = false;
        for (const std::string& reply : Command("kvar.reload", action.via)) {
          reloaded = reloaded || reply.find("Reloaded config") != std::string::npos;
        }
        if (reloaded) TakeConfigFromFile();
        Note(std::string("kvar.reload") + via + (reloaded ? ": reloaded" : ": failed"));
        break;
      }
      case Kind::Dump: {
        std::size_t lines = 0;
        for (const std::string& reply : Command("kvar.dumpdinos", action.via)) {
          lines += static_cast<std::size_t>(std::count(reply.begin(), reply.end(), '\n'));
        }
        Note(std::string("kvar.dumpdinos") + via +
             (action.via == Channel::Rcon ? ": " + std::to_string(lines) + " classes" : ""));
        break;
      }
      case Kind::DestroyWildDinos:
        devserver::CheatDestroyWildDinos();
        Note("the cheat destroywilddinos removed every wild creature");
        break;
      case Kind::Unload: {
        const std::size_t pending = devserver::PendingTimerTasks();
        devserver::UnloadPlugin();
        Note("the plug-in was unloaded; " + std::to_string(pending) +
             " pending removals were dropped with it");
        break;
      }
      case Kind::Load:
        if (devserver::PluginLoaded()) {
          Note("load skipped: the plug-in is loaded already");
        } else {
          Load();
          Note(devserver::ServerStatusValue() == 1
                   ? "the plug-in was loaded into the running world (start-up sweep)"
                   : "the plug-in was loaded");
        }
        break;
      case Kind::Tame:
        Note("players tamed " +
             std::to_string(devserver::TameWild(action.group.reference, action.group.count)) +
             " of " + devserver::ClassKeyOf(action.group.reference));
        break;
      case Kind::Kill:
        Note("players killed " +
             std::to_string(devserver::KillWild(action.group.reference, action.group.count)) +
             " of " + devserver::ClassKeyOf(action.group.reference));
        break;
      case Kind::Place:
        Note(std::to_string(PlaceGroup(action.group)) + " creatures of " +
             devserver::ClassKeyOf(action.group.reference) + " arrived outside the spawn zones");
        break;
    }
  }

  // The plug-in's count per folded key, from its own kvar.dumpdinos reply; empty: no reply.
  std::optional<std::map<std::string, int64_t>> PluginCounts() {
    const auto replies = devserver::RconRequest("kvar.dumpdinos", next_rcon_id_++);
    std::map<std::string, int64_t> counts;
    bool answered = false;
    for (const auto& reply : replies) {
      if (reply.text.rfind("Unknown command:", 0) == 0) continue;
      answered = true;
      std::size_t start = 0;
      while (start < reply.text.size()) {
        std::size_t end = reply.text.find('\n', start);
        if (end == std::string::npos) end = reply.text.size();
        const std::string line = reply.text.substr(start, end - start);
        const std::size_t num = line.rfind(". Num: ");
        if (num != std::string::npos) {
          counts[FoldCase(line.substr(0, num))] += std::stoll(line.substr(num + 7));
        }
        start = end + 1;
      }
    }
    if (!answered) return std::nullopt;
    return counts;
  }

  std::optional<int64_t> CountOf(const std::optional<std::map<std::string, int64_t>>& counts,
                                 const std::string& key) {
    if (!counts) return std::nullopt;
    const auto found = counts->find(FoldCase(key));
    return found == counts->end() ? 0 : found->second;
  }

  void Sample(double hours) {
    const auto counts = PluginCounts();
    for (const devserver::ClassLedger& ledger : devserver::ClassLedgers()) {
      CensusSample sample;
      sample.hours = hours;
      sample.key = ledger.key;
      sample.limit = config_.LimitOf(ledger.key);
      sample.plugin_count = CountOf(counts, ledger.key);
      sample.live_wild = ledger.live_wild;
      result_.samples.push_back(std::move(sample));
    }
  }

  void MakeRows() {
    const auto counts = PluginCounts();
    const std::vector<devserver::ClassLedger> ledgers = devserver::ClassLedgers();
    std::map<std::string, int64_t> counted_by_folded_key;
    for (const auto& ledger : ledgers)
      counted_by_folded_key[FoldCase(ledger.key)] += ledger.counted;

    for (const auto& ledger : ledgers) {
      ClassRow row;
      row.ledger = ledger;
      row.limit = config_.LimitOf(ledger.key);
      row.plugin_count = CountOf(counts, ledger.key);
      row.churn_per_hour =
          static_cast<double>(ledger.gate_limit_removals + ledger.gate_level_removals) /
          setup_.scenario.hours;
      if (row.plugin_count) {
        row.drift = *row.plugin_count - ledger.live_wild;
        const int64_t siblings = counted_by_folded_key[FoldCase(ledger.key)] - ledger.counted;
        const int64_t unexplained = *row.plugin_count - counted_by_folded_key[FoldCase(ledger.key)];
        const std::pair<const char*, int64_t> causes[] = {
            {"tamed after being counted", ledger.counted_tamed},
            {"counted bodies or gone", ledger.counted_not_alive},
            {"awaiting the gate's removal", -static_cast<int64_t>(ledger.awaiting_removal)},
            {"never counted (arrived outside zones or ungated)",
             -static_cast<int64_t>(ledger.never_counted)},
            {"key shared by letter case", siblings},
            {"unexplained", unexplained},
        };
        for (const auto& [what, amount] : causes) {
          if (amount != 0) row.causes.push_back({what, amount});
        }
      }
      result_.rows.push_back(std::move(row));
    }

    // A limit whose key no class has exactly never applies.
    for (const auto& [key, limit] : config_.limits) {
      const bool exact = std::any_of(ledgers.begin(), ledgers.end(),
                                     [&](const auto& ledger) { return ledger.key == key; });
      if (exact) continue;
      std::string note = "the limit " + std::to_string(limit) + " of " + key + " never applied";
      for (const auto& ledger : ledgers) {
        if (FoldCase(ledger.key) == FoldCase(key)) {
          note += ": the class key is " + ledger.key + " (limits match letter case exactly)";
        }
      }
      result_.notes.push_back(note);
    }
    result_.level_rule = config_.level_rule;
  }

  const SimulationSetup& setup_;
  fs::path plugin_dir_;
  ConfigInForce config_;
  SimulationResult result_;
  std::vector<std::string> output_;
  int32_t next_rcon_id_ = 1;
};

}  // namespace

SimulationResult RunSimulation(const SimulationSetup& setup) {
  try {
    return Simulation(setup).Run();
  } catch (...) {
    devserver::StopServer();
    throw;
  }
}
