#pragma once

#include <cstdint>
#include <string>

namespace CLI {
class App;
}

// The options of `kestrovar serve`.
struct ServeOptions {
  std::string server_dir;
  std::string plugin;  // empty: the Kestrovar library beside the program
  bool world_ready = false;
  double corpse_decay_seconds = 60;
  bool echo = false;         // print each input line as "> LINE" before its output
  bool show_events = false;  // print each event the stand-in records as "[event] TEXT"
  bool log_to_stdout = true;
  // Live session: the RCON listener (port 0 is "none" unless rcon_listen is set) and the wall
  // clock.
  bool rcon_listen = false;
  int rcon_port = 0;
  std::string rcon_password;
  std::string rcon_bind = "127.0.0.1";
  int rcon_max_connections = 8;
  bool realtime = false;
  std::string scenario;  // a scenario's population and spawn zones, living on sim.advance
  uint64_t seed = 1;
};

// Adds `serve` to the program's subcommands.
CLI::App* AddServeCommand(CLI::App& app, ServeOptions& options);

// Runs the session on standard input; returns the program's exit code.
int RunServe(const ServeOptions& options);

// Runs one line of input (echo, comments, errors printed); returns false when the session ends.
bool RunInputLine(const ServeOptions& options, const std::string& plugin, std::string line);
// The session with an RCON listener and/or the game clock on the wall clock: standard input, RCON
// clients, the clock and SIGINT / SIGTERM all served on this thread. Throws when the listener
// cannot be opened.
void RunLiveSession(const ServeOptions& options, const std::string& plugin);
