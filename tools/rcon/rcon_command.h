#pragma once

// `kestrovar rcon HOST:PORT COMMAND...`: one RCON command and its whole reply, however many packets
// carry it.

#include <string>
#include <string_view>
#include <vector>

#include "tools/rcon/rcon_target.h"

namespace CLI {
class App;
}

struct RconOptions {
  std::string address;  // HOST:PORT
  std::vector<std::string> command;
  PasswordOptions password;
  double timeout_seconds = 10;
};

// Adds `rcon` to the program's subcommands.
CLI::App* AddRconCommand(CLI::App& app, RconOptions& options);
// Returns the program's exit code: 0 the reply printed, 1 the reply printed says the command failed
// (ReplySaysFailed), 2 no reply (no server, a wrong password, a time-out), 64 bad usage.
int RunRcon(const RconOptions& options);

// Whether a reply says that the command failed: the plug-in's failure replies ("Kestrovar: Failed
// to reload config") and the server's answer to a command it does not know ("Unknown command: X").
bool ReplySaysFailed(std::string_view reply);

// The --timeout check, shared with `watch`: seconds above 0, at most an hour.
std::string TimeoutError(const std::string& text);
