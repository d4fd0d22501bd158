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

#include "tools/check/config_check.h"
#include "tools/check/print_findings.h"
#include "tools/scenario/scenario_world.h"
#include "tools/simulate/config_in_force.h"
#include "tools/simulate/interruption.h"
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
    options.forget_removed = true;  // memory grows with the world, not with every creature made
    options.corpse_decay_seconds = scenario.corpse_decay_seconds;
    devserver::StartServer(options);
    devserver::SetOutput([this](std::string_view line) { output_.emplace_back(line); });
    for (const std::string& error : setup_.config_errors_before) ConfigError(error);

    const auto started = std::chrono::steady_clock::now();
    const std::clock_t cpu_started = std::clock();
    PlaceScenarioPopulation(scenario, setup_.seed);
    if (!scenario.load_into_running_world) Load();
    devserver::InitGame();
    NotePluginErrors();
    result_.level_rule_at_start = config_.level_rule;
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
      // Ctrl-C: the run ends at the last sample taken.
      if (sample > 0 && StopRequested()) {
        result_.interrupted = true;
        break;
      }
      result_.hours_done = sample_hours;
      while (next_action < actions.size() && actions[next_action].at_hours <= sample_hours) {
        AdvanceTo(actions[next_action].at_hours);
        NotePluginErrors();
        Perform(actions[next_action++]);
        NotePluginErrors();
      }
      AdvanceTo(sample_hours);
      NotePluginErrors();
      Sample(sample_hours);
      progress.Show(sample_hours);
    }
    if (result_.interrupted) {
      Note("stopped by Ctrl-C: the report covers the run up to here");
    } else {
      while (next_action < actions.size() && actions[next_action].at_hours <= scenario.hours) {
        AdvanceTo(actions[next_action].at_hours);
        NotePluginErrors();
        Perform(actions[next_action++]);
        NotePluginErrors();
      }
      AdvanceTo(scenario.hours);
      NotePluginErrors();
      result_.hours_done = scenario.hours;
    }
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
    for (const auto& [message, times] : logged_) {
      if (times > 1) {
        result_.notes.push_back("the plug-in logged \"" + message + "\" " + std::to_string(times) +
                                " times in all");
      }
    }
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

  // A note that names a configuration error: the run then ends with exit code 1.
  void ConfigError(const std::string& text) {
    Note(text);
    result_.config_errors.push_back(result_.notes.back());
  }

  // The errors the plug-in logged since the last look, each message once in the notes (the plug-in
  // may log the same one at every spawn). Its warning-level dump lines are dropped here too, so
  // that the captured log stays small however long the run.
  std::vector<std::string> TakePluginErrors() {
    std::vector<std::string> fresh;
    for (const devserver::LogEntry& entry : devserver::LogEntries()) {
      if (entry.level != "error" && entry.level != "critical") continue;
      std::string message;
      for (const char c : entry.message) {
        if (c == '\n' || c == '\r') {
          if (!message.empty() && message.back() != ' ') message += ' ';
        } else if (c != ' ' || (!message.empty() && message.back() != ' ')) {
          message += c;
        }
      }
      if (++logged_[message] == 1) fresh.push_back(message);
    }
    devserver::ClearLogEntries();
    return fresh;
  }

  void NotePluginErrors() {
    for (const std::string& message : TakePluginErrors()) {
      ConfigError("the plug-in logged an error: " + message);
    }
  }

  static std::string LimitText(const std::optional<int32_t>& limit) {
    return limit ? std::to_string(*limit) : "none";
  }

  // What differs between two configurations in force, for the notes; empty when nothing does.
  std::string Changes(const ConfigInForce& before, const ConfigInForce& after) {
    std::map<std::string, std::pair<std::optional<int32_t>, std::optional<int32_t>>> limits;
    for (const auto& [key, limit] : before.limits) limits[key].first = before.LimitOf(key);
    for (const auto& [key, limit] : after.limits) limits[key].second = after.LimitOf(key);
    std::string changes;
    for (const auto& [key, pair] : limits) {
      if (pair.first == pair.second) continue;
      changes += (changes.empty() ? "" : ", ") + key + " " + LimitText(pair.first) + " -> " +
                 LimitText(pair.second);
    }
    if (!changes.empty()) changes = "limits " + changes;
    if (before.level_rule != after.level_rule) {
      const auto rule = [](const std::optional<int32_t>& level) {
        return level ? "level " + std::to_string(*level) : std::string("off");
      };
      changes += (changes.empty() ? "" : "; ") + std::string("level rule ") +
                 rule(before.level_rule) + " -> " + rule(after.level_rule);
    }
    if (!changes.empty()) result_.config_changes.push_back(devserver::Now() / 3600.0);
    return changes;
  }

  // The plug-in read its configuration at load or at a reload that said so; returns what changed
  // from `before` (at a load: the configuration in force before the plug-in was unloaded).
  std::string TakeConfigFromFile() { return TakeConfigFromFile(config_); }
  std::string TakeConfigFromFile(const ConfigInForce before) {
    config_ = ReadConfigInForce(ReadWholeFile(plugin_dir_ / "config.json"));
    devserver::SetLevelRuleInForce(config_.level_rule);
    return Changes(before, config_);
  }

  // Loads the plug-in; a configuration it cannot read is an error of the run, not of the program.
  void Load() {
    const bool first = !loaded_before_;
    loaded_before_ = true;
    const std::string error = devserver::LoadPlugin(setup_.plugin);
    if (!error.empty()) throw std::runtime_error(error);
    std::string logged;
    for (const std::string& message : TakePluginErrors()) logged += ": " + message;
    // A load that failed registered nothing, not even the death detour.
    const std::vector<std::string> hooks = devserver::InstalledHooks();
    const bool failed =
        std::find(hooks.begin(), hooks.end(), "APrimalDinoCharacter.Die") == hooks.end();
    if (failed) {
      const std::string changes = Changes(config_before_unload_, {});
      config_ = {};
      devserver::SetLevelRuleInForce(std::nullopt);
      ConfigError("the plug-in could not read config.json at load" + logged +
                  "; it does nothing until it is loaded again" +
                  (changes.empty() || first ? "" : " (" + changes + ")"));
      return;
    }
    std::string changes = TakeConfigFromFile(config_before_unload_);
    if (first) {
      if (!changes.empty()) result_.config_changes.pop_back();
      changes.clear();
    }
    if (!changes.empty()) Note("the configuration in force changed at the load: " + changes);
    if (!logged.empty()) ConfigError("the plug-in logged an error at load" + logged);
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
    static const std::map<Kind, const char*> marked = {{Kind::Write, "write"},
                                                       {Kind::Reload, "reload"},
                                                       {Kind::Unload, "unload"},
                                                       {Kind::Load, "load"},
                                                       {Kind::DestroyWildDinos, "cheat"}};
    if (const auto mark = marked.find(action.kind); mark != marked.end()) {
      result_.marks.push_back({devserver::Now() / 3600.0, mark->second});
    }
    const char* via = action.via == Channel::Rcon ? " over RCON" : " from the console";
    switch (action.kind) {
      case Kind::Write:
        if (setup_.keep_config && action.file == "config.json") {
          Note(
              "the scenario's write of config.json was skipped: the configuration given with "
              "--config holds for the whole run");
          break;
        }
        WriteWholeFile(plugin_dir_ / action.file, action.text);
        Note("an operator wrote " + action.file);
        if (action.file == "config.json") CheckWritten(action.text);
        break;
      case Kind::Reload: {
        bool reloaded = false;
        std::string replies;
        for (const std::string& reply : Command("kvar.reload", action.via)) {
          reloaded = reloaded || reply.find("Reloaded config") != std::string::npos;
          replies += (replies.empty() ? "" : " ") + reply;
        }
        std::string logged;
        for (const std::string& message : TakePluginErrors()) logged += ": " + message;
        const std::string what = std::string("kvar.reload") + via;
        if (reloaded) {
          const std::string changes = TakeConfigFromFile();
          Note(what + ": reloaded; " +
               (changes.empty() ? "the configuration in force is unchanged" : changes));
          if (!logged.empty()) ConfigError(what + ": the plug-in logged an error" + logged);
        } else {
          ConfigError(what + ": failed, the configuration in force is unchanged" +
                      (logged.empty() ? (replies.empty() ? "" : ": " + replies) : logged));
        }
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
        // No limit is in force while the plug-in is away; a later load reads the file again.
        config_before_unload_ = config_;
        config_ = {};
        devserver::SetLevelRuleInForce(std::nullopt);
        Note("the plug-in was unloaded; " + std::to_string(pending) +
             " pending removals were dropped with it; no limit is in force until it is loaded "
             "again");
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

  // A configuration the scenario wrote gets the same check as `kestrovar check`, at its time.
  void CheckWritten(const std::string& text) {
    // The note carries the time already: "12:00 config.json as written, line 1, column 21: ...".
    const std::string file = "config.json as written";
    for (const Finding& finding : CheckConfigText(text, file, setup_.class_keys)) {
      std::string line = finding.file;
      if (finding.line > 0)
        line += fmt::format(", line {}, column {}", finding.line, finding.column);
      line += fmt::format(": {}: {} [{}]", SeverityName(finding.severity), finding.message,
                          finding.code);
      if (finding.severity == Severity::kError) {
        ConfigError(line);
      } else {
        Note(line);
      }
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
      sample.awaiting_removal = ledger.awaiting_removal;
      result_.samples.push_back(std::move(sample));
    }
  }

  // A sample starves a class when none of its live wild creatures stays (the rest await the
  // gate's removal) while the plug-in counts it at or above its limit; each such sample stands for
  // the interval up to the next.
  void Starved(const std::string& key, ClassRow& row) const {
    const double step = setup_.scenario.sample_minutes / 60.0;
    for (const CensusSample& sample : result_.samples) {
      if (sample.key != key) continue;
      const bool starved = sample.limit && sample.plugin_count &&
                           sample.live_wild - sample.awaiting_removal == 0 &&
                           *sample.plugin_count >= *sample.limit && *sample.plugin_count > 0;
      if (!starved) continue;
      const double to = std::min(sample.hours + step, result_.hours_done);
      if (to <= sample.hours) continue;
      if (!row.starved.empty() && row.starved.back().to_hours >= sample.hours - 1e-9) {
        row.starved.back().to_hours = to;
      } else {
        row.starved.push_back({sample.hours, to});
      }
      row.starved_hours += to - sample.hours;
    }
  }

  void MakeRows() {
    const auto counts = PluginCounts();
    const std::vector<devserver::ClassLedger> ledgers = devserver::ClassLedgers();
    std::map<std::string, int64_t> counted_by_folded_key;
    for (const auto& ledger : ledgers)
      counted_by_folded_key[FoldCase(ledger.key)] += ledger.counted;
    // Each class's limits as the samples saw them, each change once.
    std::map<std::string, std::vector<std::optional<int32_t>>> limits_seen;
    for (const CensusSample& sample : result_.samples) {
      auto& seen = limits_seen[sample.key];
      if (seen.empty() || seen.back() != sample.limit) seen.push_back(sample.limit);
    }

    for (const auto& ledger : ledgers) {
      ClassRow row;
      row.ledger = ledger;
      row.limit = config_.LimitOf(ledger.key);
      row.limits = limits_seen[ledger.key];
      if (row.limits.empty()) row.limits.push_back(row.limit);
      Starved(ledger.key, row);
      row.plugin_count = CountOf(counts, ledger.key);
      row.churn_per_hour =
          static_cast<double>(ledger.gate_limit_removals + ledger.gate_level_removals) /
          std::max(result_.hours_done, 1e-9);
      if (row.plugin_count) {
        row.drift = *row.plugin_count - ledger.live_wild;
        const int64_t siblings = counted_by_folded_key[FoldCase(ledger.key)] - ledger.counted;
        const int64_t unexplained = *row.plugin_count - counted_by_folded_key[FoldCase(ledger.key)];
        const struct {
          const char* id;
          const char* what;
          int64_t amount;
        } causes[] = {
            {"tamed_after_counted", "tamed after being counted", ledger.counted_tamed},
            {"counted_bodies_or_gone", "counted bodies or gone", ledger.counted_not_alive},
            {"awaiting_gate_removal", "awaiting the gate's removal",
             -static_cast<int64_t>(ledger.awaiting_removal)},
            {"never_counted", "never counted (arrived outside zones or ungated)",
             -static_cast<int64_t>(ledger.never_counted)},
            {"key_shared_by_case", "key shared by letter case", siblings},
            {"unexplained", "unexplained", unexplained},
        };
        for (const auto& [id, what, amount] : causes) {
          if (amount != 0) row.causes.push_back({id, what, amount});
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
  ConfigInForce config_before_unload_;
  bool loaded_before_ = false;
  std::map<std::string, int> logged_;  // the plug-in's error messages, and how often each came
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
