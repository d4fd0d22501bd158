#include "tools/rcon/rcon_command.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <iostream>

#include "tools/common/exit_codes.h"
#include "tools/common/output.h"
#include "tools/common/rcon_packets.h"
#include "tools/rcon/rcon_client.h"

std::string TimeoutError(const std::string& text) {
  double seconds = 0;
  if (!CLI::detail::lexical_cast(text, seconds) || !std::isfinite(seconds) || seconds <= 0 ||
      seconds > 3600) {
    return "expected seconds above 0 and at most 3600, found " + text;
  }
  return {};
}

CLI::App* AddRconCommand(CLI::App& app, RconOptions& options) {
  CLI::App* rcon = app.add_subcommand(
      "rcon",
      "Send one command to a game server over RCON and print its whole reply, however many packets "
      "carry it (kvar.dumpdinos of many classes included). Exit code 0 for a reply, 1 for a reply "
      "that says the command failed (\"Kestrovar: Failed to reload config\", \"Unknown "
      "command\"), 2 when no reply came: no server, a wrong password, a time-out.");
  rcon->add_option("ADDRESS", options.address, "The server's RCON address, HOST:PORT")
      ->required()
      ->check(CLI::Validator(HostPortError, "HOST:PORT"));
  rcon->add_option("COMMAND", options.command, "The command and its words, e.g. kvar.reload")
      ->required()
      ->expected(-1);
  AddPasswordOptions(*rcon, options.password);
  rcon->add_option("--timeout", options.timeout_seconds,
                   "Seconds to wait for the connection, the password's answer and the whole reply, "
                   "each (default 10)")
      ->check(CLI::Validator(TimeoutError, "SECONDS"));
  return rcon;
}

int RunRcon(const RconOptions& options) {
  std::string command;
  for (const std::string& word : options.command) command += (command.empty() ? "" : " ") + word;
  if (command.size() > rcon::kMaxBodyPerPacket) {
    PrintError("kestrovar rcon: the command is " + std::to_string(command.size()) +
               " bytes long; a packet holds " + std::to_string(rcon::kMaxBodyPerPacket));
    return kExitUsage;
  }
  std::string password;
  try {
    password = ResolvePassword(options.password, "kestrovar rcon");
  } catch (const PasswordError& error) {
    PrintError(std::string("kestrovar rcon: ") + error.what());
    return error.exit_code();
  }
  const std::optional<HostPort> target = ParseHostPort(options.address);
  if (!target) return kExitUsage;  // the option's check said why

  rcon::ClientOptions client_options;
  client_options.timeout = std::chrono::milliseconds(
      std::max<long long>(1, std::llround(options.timeout_seconds * 1000)));
  rcon::Client client(target->host, target->port, client_options);
  std::string reply;
  try {
    client.Connect();
    client.Authenticate(password);
    reply = client.Command(command);
    client.Close();
  } catch (const rcon::ClientError& error) {
    PrintError(std::string("kestrovar rcon: ") + error.what());
    return kExitUnusableInput;
  }
  std::cout << reply;
  if (!reply.empty() && reply.back() != '\n') std::cout << '\n';
  std::cout.flush();
  if (!std::cout) return kExitUnusableInput;
  // A script's `check && rcon kvar.reload` must see a reload that failed.
  return ReplySaysFailed(reply) ? kExitWarnings : kExitOk;
}

bool ReplySaysFailed(std::string_view reply) {
  // The plug-in's failure replies all begin so; a dump's lines begin with a class key.
  return reply.starts_with("Kestrovar: Failed") || reply.starts_with("Unknown command");
}
