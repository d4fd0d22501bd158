#include "tools/simulate/simulation.h"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>

#include "tools/check/config_check.h"
#include "tools/check/print_findings.h"
#include "tools/common/config_in_force.h"
#include "tools/common/files.h"
#include "tools/common/game_clock.h"
#include "tools/common/interruption.h"
#include "tools/common/text_bytes.h"
#include "tools/scenario/scenario_world.h"
#include "tools/simulate/plugin_counts.h"
#include "tools/simulate/progress_bar.h"

namespace {

namespace fs = std::filesystem;

// A finding of the check as one line of the notes: "FILE, line 1, column 21: error: ... [code]".
std::string FindingLine(const Finding& finding) {
  std::string line = finding.file;
  if (finding.line > 0) line += fmt::format(", line {}, column {}", finding.line, finding.column);
  return line + fmt::format(": {}: {} [{}]", SeverityName(finding.severity), finding.message,
                            finding.code);
}

// The dump files in a folder with their last write times, to tell which one a dump wrote.
// The dump files in `dir` with their times. With `backdate`, each file's time is first set an hour
// back: a file the plug-in then writes again within the same second shows a new time even where the
// file system's clock is coarse.
std::map<std::string, fs::file_time_type> DumpFiles(const fs::path& dir, bool backdate = false) {
  std::map<std::string, fs::file_time_type> files;
  std::error_code error;
  for (fs::directory_iterator entry(dir, error), end; !error && entry != end;
       entry.increment(error)) {
    std::error_code ignored;
    if (backdate) {
      fs::last_write_time(entry->path(), entry->last_write_time(ignored) - std::chrono::hours(1),
                          ignored);
    }
    files[entry->path().filename().string()] = fs::last_write_time(entry->path(), ignored);
  }
  return files;
}

class Simulation {
 public:
  explicit Simulation(const SimulationSetup& setup) : setup_(setup) {}

  SimulationResult Run() {
    StartWorld();
    const auto started = std::chrono::steady_clock::now();
    const std::clock_t cpu_started = std::clock();
    PlaceScenarioPopulation(setup_.scenario, setup_.seed);
    if (!setup_.scenario.load_into_running_world) Load();
    devserver::InitGame();
    NotePluginErrors();
    result_.level_rule_at_start = config_.level_rule;
    OpenScenarioZones(setup_.scenario);

    Drive(Timeline());
    result_.world_events = devserver::WorldEventCount();
    result_.run_seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    result_.cpu_seconds = static_cast<double>(std::clock() - cpu_started) / CLOCKS_PER_SEC;

    MakeRows();
    for (const auto& [message, times] : logged_) {
      if (times > 1) {
        result_.notes.push_back("the plug-in logged \"" + PrintableText(message) + "\" " +
                                std::to_string(times) + " times in all");
      }
    }
    devserver::StopServer();
    result_.faults = devserver::Faults();
    return std::move(result_);
  }

 private:
  void StartWorld() {
    plugin_dir_ = fs::path(setup_.server_dir) / "ArkApi" / "Plugins" / "Kestrovar";
    fs::create_directories(plugin_dir_);
    WriteWholeFile(plugin_dir_ / "config.json", setup_.config_text);

    devserver::ServerOptions options;
    options.server_dir = setup_.server_dir;
    options.log_to_stdout = false;
    options.record_events = false;
    options.forget_removed = true;  // memory grows with the world, not with every creature made
    options.corpse_decay_seconds = setup_.scenario.corpse_decay_seconds;
    devserver::StartServer(options);
    devserver::SetOutput([this](std::string_view line) { output_.emplace_back(line); });

    result_.config_checks.push_back({setup_.config_name, std::nullopt, setup_.config_findings});
    for (const Finding& finding : setup_.config_findings) {
      if (finding.severity == Severity::kError) ConfigError("the check of " + FindingLine(finding));
    }
  }

  // The scenario's actions in time order, with the load into the running world among them.
  std::vector<ScenarioAction> Timeline() const {
    const Scenario& scenario = setup_.scenario;
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
    return actions;
  }

  // Game time runs through the actions and the samples, a sample at every interval from 0 to the
  // end of the run; Ctrl-C ends the run at the last sample taken.
  void Drive(const std::vector<ScenarioAction>& actions) {
    const Scenario& scenario = setup_.scenario;
    const double step_hours = scenario.sample_minutes / 60.0;
    const auto samples = static_cast<int64_t>(std::floor(scenario.hours / step_hours + 1e-9));
    std::size_t next_action = 0;
    const auto run_until = [&](double hours) {
      while (next_action < actions.size() && actions[next_action].at_hours <= hours) {
        AdvanceTo(actions[next_action].at_hours);
        Perform(actions[next_action++]);
      }
      AdvanceTo(hours);
    };
    ProgressBar progress(setup_.progress, scenario.hours);
    for (int64_t sample = 0; sample <= samples; ++sample) {
      const double sample_hours = static_cast<double>(sample) * step_hours;
      if (sample > 0 && StopRequested()) {
        result_.interrupted = true;
        break;
      }
      result_.hours_done = sample_hours;
      run_until(sample_hours);
      Sample(sample_hours);
      progress.Show(sample_hours);
    }
    if (result_.interrupted) {
      Note("stopped by Ctrl-C: the report covers the run up to here");
    } else {
      run_until(scenario.hours);
      result_.hours_done = scenario.hours;
    }
    if (next_action < actions.size()) {
      Note(std::to_string(actions.size() - next_action) +
           " of the scenario's actions fall after the end of the run and were not run");
    }
    progress.Finish();
  }

  void AdvanceTo(double hours) {
    // Advancing by 0 runs what is due now, such as the zones' first checks.
    devserver::Advance(std::max(0.0, hours * 3600.0 - devserver::Now()));
    NotePluginErrors();
  }

  // Notes quote files and the plug-in's log, whose bytes may be anything: shown safely.
  void Note(const std::string& text) {
    result_.notes.push_back(Clock(devserver::Now() / 3600.0) + " " + PrintableText(text));
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

  std::string TakeLoggedErrors() {
    std::string logged;
    for (const std::string& message : TakePluginErrors()) logged += ": " + message;
    return logged;
  }

  // A load or reload changed the configuration in force, now.
  void ConfigChanged(const std::string& changes) {
    if (!changes.empty()) result_.config_changes.push_back(devserver::Now() / 3600.0);
  }

  // The configuration in force becomes `config`.
  void PutInForce(ConfigInForce config) {
    config_ = std::move(config);
    devserver::SetLevelRuleInForce(config_.level_rule);
  }

  // The plug-in read its configuration file, at a load or a reload that said so.
  ConfigInForce ConfigFromFile() const {
    return ReadConfigInForce(ReadWholeFile(plugin_dir_ / "config.json").value_or(""));
  }

  // Loads the plug-in; a configuration it cannot read is an error of the run, not of the program.
  // After an unload, what changed is told against the configuration in force before it.
  void Load() {
    const bool first = !loaded_before_;
    loaded_before_ = true;
    const std::vector<devserver::ClassLedger> before =
        first ? devserver::ClassLedgers() : std::vector<devserver::ClassLedger>{};
    const std::string error = devserver::LoadPlugin(setup_.plugin);
    if (!error.empty()) throw std::runtime_error(error);
    const std::string logged = TakeLoggedErrors();
    // A load that failed registered nothing, not even the death detour.
    const std::vector<std::string> hooks = devserver::InstalledHooks();
    const bool failed =
        std::find(hooks.begin(), hooks.end(), "APrimalDinoCharacter.Die") == hooks.end();
    const ConfigInForce loaded = failed ? ConfigInForce{} : ConfigFromFile();
    const std::string changes = first ? std::string() : Difference(config_before_unload_, loaded);
    ConfigChanged(changes);
    PutInForce(loaded);
    plugin_answers_ = !failed;
    if (first) RecordFirstLoad(before);
    // A load into the running world at its start (a dump's world) sets the rule in force there.
    if (first && setup_.scenario.load_into_running_world && setup_.scenario.load_at_hours == 0) {
      result_.level_rule_at_start = config_.level_rule;
    }
    if (failed) {
      ConfigError("the plug-in could not read config.json at load" + logged +
                  "; it does nothing until it is loaded again" +
                  (changes.empty() ? "" : " (" + changes + ")"));
      return;
    }
    if (!changes.empty()) Note("the configuration in force changed at the load: " + changes);
    if (!logged.empty()) ConfigError("the plug-in logged an error at load" + logged);
  }

  // What the first load's sweep removed, class by class (ledgers come in key order).
  void RecordFirstLoad(const std::vector<devserver::ClassLedger>& before) {
    std::map<std::string, const devserver::ClassLedger*> earlier;
    for (const devserver::ClassLedger& ledger : before) earlier[ledger.key] = &ledger;
    for (const devserver::ClassLedger& ledger : devserver::ClassLedgers()) {
      const auto was = earlier.find(ledger.key);
      FirstLoadRow row;
      row.key = ledger.key;
      row.live_wild_before = was == earlier.end() ? 0 : was->second->live_wild;
      row.removed =
          ledger.sweep_removals - (was == earlier.end() ? 0 : was->second->sweep_removals);
      row.limit = config_.LimitOf(ledger.key);
      result_.first_load.push_back(std::move(row));
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

  static const char* Via(const ScenarioAction& action) {
    return action.via == Channel::Rcon ? " over RCON" : " from the console";
  }

  void Perform(const ScenarioAction& action) {
    using Kind = ScenarioAction::Kind;
    struct Handler {
      const char* mark;  // on the chart; null: none
      void (Simulation::*perform)(const ScenarioAction&);
    };
    static const std::map<Kind, Handler> handlers = {
        {Kind::Write, {"write", &Simulation::Write}},
        {Kind::Reload, {"reload", &Simulation::Reload}},
        {Kind::Dump, {nullptr, &Simulation::Dump}},
        {Kind::DestroyWildDinos, {"cheat", &Simulation::DestroyWildDinos}},
        {Kind::Unload, {"unload", &Simulation::Unload}},
        {Kind::Load, {"load", &Simulation::LoadAction}},
        {Kind::Tame, {nullptr, &Simulation::Tame}},
        {Kind::Kill, {nullptr, &Simulation::Kill}},
        {Kind::Place, {nullptr, &Simulation::Place}},
    };
    const Handler& handler = handlers.at(action.kind);
    if (handler.mark != nullptr) result_.marks.push_back({devserver::Now() / 3600.0, handler.mark});
    (this->*handler.perform)(action);
    NotePluginErrors();
  }

  void Write(const ScenarioAction& action) {
    if (setup_.keep_config && action.file == "config.json") {
      Note(setup_.from_dump.empty()
               ? "the scenario's write of config.json was skipped: the configuration given with "
                 "--config holds for the whole run"
               : "the scenario's write of config.json was skipped: in the world of a dump, the "
                 "configuration at the start holds for the whole run");
      return;
    }
    WriteWholeFile(plugin_dir_ / action.file, action.text);
    Note("an operator wrote " + action.file);
    if (action.file == "config.json") CheckWritten(action.text);
  }

  // A configuration the scenario wrote gets the same check as `kestrovar check`, at its time.
  void CheckWritten(const std::string& text) {
    // The note carries the time already: "12:00 config.json as written, line 1, column 21: ...".
    ConfigCheck check{"config.json as written", devserver::Now() / 3600.0,
                      CheckConfigText(text, "config.json as written", setup_.class_keys)};
    for (const Finding& finding : check.findings) {
      if (finding.severity == Severity::kError) {
        ConfigError(FindingLine(finding));
      } else {
        Note(FindingLine(finding));
      }
    }
    result_.config_checks.push_back(std::move(check));
  }

  void Reload(const ScenarioAction& action) {
    bool reloaded = false;
    std::string replies;
    for (const std::string& reply : Command("kvar.reload", action.via)) {
      reloaded = reloaded || reply.find("Reloaded config") != std::string::npos;
      replies += (replies.empty() ? "" : " ") + reply;
    }
    const std::string logged = TakeLoggedErrors();
    const std::string what = std::string("kvar.reload") + Via(action);
    if (!reloaded) {
      ConfigError(what + ": failed, the configuration in force is unchanged" +
                  (logged.empty() ? (replies.empty() ? "" : ": " + replies) : logged));
      return;
    }
    ConfigInForce read = ConfigFromFile();
    const std::string changes = Difference(config_, read);
    ConfigChanged(changes);
    PutInForce(std::move(read));
    Note(what + ": reloaded; " +
         (changes.empty() ? "the configuration in force is unchanged" : changes));
    if (!logged.empty()) ConfigError(what + ": the plug-in logged an error" + logged);
  }

  // The scenario's own kvar.dumpdinos; the notes say where a dump file went, or that nothing
  // answered.
  void Dump(const ScenarioAction& action) {
    const std::string what = std::string("kvar.dumpdinos") + Via(action);
    if (!devserver::PluginLoaded() || !plugin_answers_) {
      Command("kvar.dumpdinos", action.via);
      Note(what + (devserver::PluginLoaded()
                       ? ": no answer; the plug-in's load failed, so it has no commands"
                       : ": no answer; the plug-in was not loaded"));
      return;
    }
    const fs::path dumps = plugin_dir_ / "DinoDumpLogs";
    const auto before = DumpFiles(dumps, true);
    std::size_t lines = 0;
    for (const std::string& reply : Command("kvar.dumpdinos", action.via)) {
      lines += static_cast<std::size_t>(std::count(reply.begin(), reply.end(), '\n'));
    }
    std::string written;
    for (const auto& [name, time] : DumpFiles(dumps)) {
      const auto earlier = before.find(name);
      if (earlier != before.end() && earlier->second == time) continue;
      written += std::string(written.empty() ? "" : ", ") + (dumps / name).generic_string();
      // The file's name has the wall clock to the second: a second dump within it replaces it.
      if (earlier != before.end()) {
        written += ", replacing the dump written there in the same wall-clock second";
      }
    }
    Note(what + (action.via == Channel::Rcon ? ": " + std::to_string(lines) + " classes" : "") +
         (written.empty() ? "" : "; the plug-in wrote the dump to " + written));
  }

  void DestroyWildDinos(const ScenarioAction&) {
    devserver::CheatDestroyWildDinos();
    Note("the cheat destroywilddinos removed every wild creature");
  }

  void Unload(const ScenarioAction&) {
    const std::size_t pending = devserver::PendingTimerTasks();
    devserver::UnloadPlugin();
    plugin_answers_ = false;
    // No limit is in force while the plug-in is away; a later load reads the file again.
    config_before_unload_ = config_;
    PutInForce({});
    Note("the plug-in was unloaded; " + std::to_string(pending) +
         " pending removals were dropped with it; no limit is in force until it is loaded again");
  }

  void LoadAction(const ScenarioAction&) {
    if (devserver::PluginLoaded()) {
      Note("load skipped: the plug-in is loaded already");
      return;
    }
    Load();
    Note(devserver::ServerStatusValue() == 1
             ? "the plug-in was loaded into the running world (start-up sweep)"
             : "the plug-in was loaded");
  }

  void Tame(const ScenarioAction& action) {
    Note("players tamed " +
         std::to_string(devserver::TameWild(action.group.reference, action.group.count)) + " of " +
         devserver::ClassKeyOf(action.group.reference));
  }

  void Kill(const ScenarioAction& action) {
    Note("players killed " +
         std::to_string(devserver::KillWild(action.group.reference, action.group.count)) + " of " +
         devserver::ClassKeyOf(action.group.reference));
  }

  void Place(const ScenarioAction& action) {
    Note(std::to_string(PlaceGroup(action.group)) + " creatures of " +
         devserver::ClassKeyOf(action.group.reference) + " arrived outside the spawn zones");
  }

  // A sample reads what the world keeps as it changes: it walks no creature, runs no command and
  // writes no file, whatever the configuration says of dump files.
  void Sample(double hours) {
    const std::vector<devserver::ClassLedger> ledgers = devserver::ClassLedgers();
    std::optional<std::map<std::string, int64_t>> counts;
    if (plugin_answers_) counts = CountsOfWorld(ledgers);
    for (const devserver::ClassLedger& ledger : ledgers) {
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

  // The plug-in's own counts at the end, from its kvar.dumpdinos, unless that would write a dump
  // file: then the world's account of them. Empty when the plug-in does not answer.
  std::optional<std::map<std::string, int64_t>> CountsAtTheEnd(
      const std::vector<devserver::ClassLedger>& ledgers) {
    if (!plugin_answers_) return std::nullopt;
    if (config_.writes_dump_files != false) {
      result_.notes.push_back(
          "the plug-in's counts are the world's account of what it counted: asking the plug-in "
          "(kvar.dumpdinos) would have written a dump file");
      return CountsOfWorld(ledgers);
    }
    const auto replies = devserver::RconRequest("kvar.dumpdinos", next_rcon_id_++);
    if (std::any_of(replies.begin(), replies.end(), [](const devserver::RconReply& reply) {
          return reply.text.rfind("Unknown command:", 0) == 0;
        })) {
      return std::nullopt;
    }
    return CountsOfDump(replies);
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

  // Why the plug-in's count differs from the live wild creatures; whatever the world cannot
  // account for is "unexplained".
  static std::vector<DriftCause> CausesOf(const devserver::ClassLedger& ledger,
                                          int64_t plugin_count, int64_t counted_by_folded_key) {
    const int64_t siblings = counted_by_folded_key - ledger.counted;
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
        {"unexplained", "unexplained", plugin_count - counted_by_folded_key},
    };
    std::vector<DriftCause> found;
    for (const auto& [id, what, amount] : causes) {
      if (amount != 0) found.push_back({id, what, amount});
    }
    return found;
  }

  void MakeRows() {
    const std::vector<devserver::ClassLedger> ledgers = devserver::ClassLedgers();
    const auto counts = CountsAtTheEnd(ledgers);
    const std::map<std::string, int64_t> counted_by_folded_key = CountsOfWorld(ledgers);
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
        row.causes =
            CausesOf(ledger, *row.plugin_count, counted_by_folded_key.at(CountKey(ledger.key)));
      }
      result_.rows.push_back(std::move(row));
    }

    // A limit whose key no class has exactly never applies.
    for (const auto& [key, limit] : config_.limits) {
      const bool exact = std::any_of(ledgers.begin(), ledgers.end(),
                                     [&](const auto& ledger) { return ledger.key == key; });
      if (exact) continue;
      std::string note = "the limit " + std::to_string(limit) + " of " + key + " never applied";
      bool case_differs = false;
      for (const auto& ledger : ledgers) {
        if (CountKey(ledger.key) == CountKey(key)) {
          note += ": the class key is " + ledger.key + " (limits match letter case exactly)";
          case_differs = true;
        }
      }
      // In a dump's world only the dumped classes live: a limit on another class, or on one whose
      // key the dump could not keep, says nothing of the server.
      if (!case_differs && !setup_.from_dump.empty()) {
        note +=
            " in this run: its class is not in the world made from the dump (a class not met "
            "yet, or one left out above)";
      }
      result_.notes.push_back(PrintableText(note));
    }
    result_.level_rule = config_.level_rule;
  }

  const SimulationSetup& setup_;
  fs::path plugin_dir_;
  ConfigInForce config_;
  ConfigInForce config_before_unload_;
  bool loaded_before_ = false;
  // The plug-in is loaded and its load succeeded: its commands are there and it counts.
  bool plugin_answers_ = false;
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
