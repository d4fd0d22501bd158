#pragma once

#include <cstdint>
#include <string>

// The options of `kestrovar serve`.
struct ServeOptions {
  std::string server_dir;
  std::string plugin;  // empty: the Kestrovar library beside the program
  bool world_ready = false;
  double corpse_decay_seconds = 60;
  bool echo = false;         // print each input line as "> LINE" before its output
  bool show_events = false;  // print each event the stand-in records as "[event] TEXT"
  bool log_to_stdout = true;
  std::string scenario;  // a scenario's population and spawn zones, living on sim.advance
  uint64_t seed = 1;
};

// Runs the session on standard input; returns the program's exit code.
int RunServe(const ServeOptions& options);
