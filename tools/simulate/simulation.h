#pragma once

// `kestrovar simulate`'s run: a scenario in virtual time with the real plug-in loaded, sampled at
// a fixed game-time interval, and the table of what happened per class at the end.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "devserver/control/server.h"
#include "tools/scenario/scenario.h"

struct SimulationSetup {
  Scenario scenario;
  std::string scenario_name;  // where the scenario came from, for the report
  std::string config_text;    // written as the plug-in's config.json before the start
  std::string config_name;
  uint64_t seed = 1;
  std::string server_dir;  // made if missing; the plug-in's folder goes under it
  std::string plugin;      // the plug-in library
  bool progress = false;   // a progress bar on standard error
};

// One class at one sample time.
struct CensusSample {
  double hours = 0;
  std::string key;
  std::optional<int32_t> limit;         // in force; empty: none
  std::optional<int64_t> plugin_count;  // from kvar.dumpdinos; empty: no reply from the plug-in
  int live_wild = 0;
};

struct DriftCause {
  std::string what;
  int64_t amount = 0;
};

struct ClassRow {
  devserver::ClassLedger ledger;
  std::optional<int32_t> limit;
  std::optional<int64_t> plugin_count;
  double churn_per_hour = 0;  // gate removals per game hour
  std::optional<int64_t> drift;
  std::vector<DriftCause> causes;  // add up to the drift
};

struct SimulationResult {
  std::vector<CensusSample> samples;
  std::vector<ClassRow> rows;
  std::vector<std::string> notes;   // limits that never apply, what the administrators' actions did
  std::vector<std::string> faults;  // what the stand-in caught
  std::optional<int32_t> level_rule;  // in force at the end
  uint64_t world_events = 0;
  double run_seconds = 0;  // wall-clock time of the run
  double cpu_seconds = 0;  // processor time the program spent on it
};

// Throws std::runtime_error when the server cannot start or the scenario cannot be set up.
SimulationResult RunSimulation(const SimulationSetup& setup);
