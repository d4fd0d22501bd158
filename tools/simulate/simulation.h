#pragma once

// `kestrovar simulate`'s run: a scenario in virtual time with the real plug-in loaded, sampled at
// a fixed game-time interval, and the table of what happened per class at the end.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "devserver/control/server.h"
#include "tools/check/finding.h"
#include "tools/scenario/scenario.h"

struct SimulationSetup {
  Scenario scenario;
  std::string scenario_name;  // where the scenario came from, for the report
  std::string config_text;    // written as the plug-in's config.json before the start
  std::string config_name;
  // The operator gave the configuration: the built-in default scenario's writes of config.json are
  // skipped, so that it holds for the whole run.
  bool keep_config = false;
  // The class keys the scenario brings in, for the check of each configuration a scenario writes.
  std::vector<std::string> class_keys;
  // What the check found in the configuration before the run (`kestrovar check`'s findings).
  std::vector<Finding> config_findings;
  uint64_t seed = 1;
  std::string server_dir;  // made if missing; the plug-in's folder goes under it
  std::string plugin;      // the plug-in library
  bool progress = false;   // progress on standard error (see ProgressBar)
  // `--from-dump`: the dump file the world was made from, and each dumped class's count by key;
  // empty otherwise.
  std::string from_dump;
  std::map<std::string, int> dumped_counts;
};

// One class at one sample time.
struct CensusSample {
  double hours = 0;
  std::string key;
  std::optional<int32_t> limit;  // in force; empty: none
  // The plug-in's count as the world accounts for it (what its detours saw); empty: the plug-in
  // was not loaded, or its load failed.
  std::optional<int64_t> plugin_count;
  int live_wild = 0;
  int awaiting_removal = 0;  // of the live wild: rejected by the gate, its removal still due
};

// One class at the plug-in's first load: what the world held and what the load removed.
struct FirstLoadRow {
  std::string key;
  int live_wild_before = 0;      // just before the load
  int64_t removed = 0;           // by the load's sweep
  std::optional<int32_t> limit;  // in force after the load
};

// A stretch of game time in which a class had no live wild creature that stays while the plug-in's
// count held it at its limit: the zones could not bring any back.
struct Starvation {
  double from_hours = 0;
  double to_hours = 0;
};

struct DriftCause {
  std::string id;  // stable, for scripts: "tamed_after_counted", ...
  std::string what;
  int64_t amount = 0;
};

struct ClassRow {
  devserver::ClassLedger ledger;
  std::optional<int32_t> limit;  // in force at the end
  // The limits in force over the run, each change once, in order (one entry when none changed).
  std::vector<std::optional<int32_t>> limits;
  // From the plug-in's own kvar.dumpdinos at the end; the world's account of it instead when a
  // dump would write a file (the notes then say so); empty: the plug-in did not answer.
  std::optional<int64_t> plugin_count;
  double churn_per_hour = 0;  // gate removals per game hour
  double starved_hours = 0;   // the total of `starved`, measured at the samples
  std::vector<Starvation> starved;
  std::optional<int64_t> drift;
  std::vector<DriftCause> causes;  // add up to the drift
};

// The check of one configuration in the run: the one in force at the start, and each that the
// scenario wrote as config.json.
struct ConfigCheck {
  std::string file;
  std::optional<double> at_hours;  // empty: before the run
  std::vector<Finding> findings;
};

// Something an administrator or the game did to the plug-in or its configuration, marked on the
// chart: "reload", "load", "unload", "write", "cheat".
struct RunMark {
  double hours = 0;
  std::string what;
};

struct SimulationResult {
  std::vector<CensusSample> samples;
  std::vector<ClassRow> rows;
  std::vector<std::string> notes;   // limits that never apply, what the administrators' actions did
  std::vector<std::string> faults;  // what the stand-in caught
  // What the plug-in reported of its configuration (a failed load or reload, an unusable value)
  // and the errors the check found in it and in each configuration the scenario wrote; each is
  // also among the notes.
  std::vector<std::string> config_errors;
  std::vector<ConfigCheck> config_checks;
  std::optional<int32_t> level_rule_at_start;  // in force when the world came up
  std::optional<int32_t> level_rule;           // in force at the end
  // Game hours at which a load or reload changed the limits or the level rule in force.
  std::vector<double> config_changes;
  std::vector<RunMark> marks;
  std::vector<FirstLoadRow> first_load;  // empty until the plug-in first loads
  // Stopped by Ctrl-C: everything above covers the game time up to `hours_done` only.
  bool interrupted = false;
  double hours_done = 0;
  uint64_t world_events = 0;
  double run_seconds = 0;  // wall-clock time of the run
  double cpu_seconds = 0;  // processor time the program spent on it
};

// Throws std::runtime_error when the server cannot start or the scenario cannot be set up.
SimulationResult RunSimulation(const SimulationSetup& setup);
