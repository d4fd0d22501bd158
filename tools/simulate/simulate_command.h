#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace CLI {
class App;
}

// The options of `kestrovar simulate`.
struct SimulateOptions {
  std::string scenario;   // empty: the built-in default scenario
  std::string config;     // empty: the example configuration
  std::string from_dump;  // a dump file whose populations the world starts with; empty: none
  std::optional<double> hours;
  std::string seed = "1";  // checked by ParseSeed
  std::string out_dir = "kestrovar-simulation";
  std::string format = "text";  // or "json"
  bool wide = false;            // full class keys in the table
  std::string plugin;           // empty: the Kestrovar library beside the program
};

// Adds `simulate` to the program's subcommands.
CLI::App* AddSimulateCommand(CLI::App& app, SimulateOptions& options);

// Runs the simulation and writes its outputs; returns the program's exit code.
int RunSimulate(const SimulateOptions& options);

// The files built into the program.
extern const char* const kExampleConfig;
extern const char* const kDefaultScenario;
