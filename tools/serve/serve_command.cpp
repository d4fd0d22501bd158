#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdlib>

#include "tools/common/plugin_path.h"
#include "tools/common/seed.h"
#include "tools/serve/serve_options.h"

CLI::App* AddServeCommand(CLI::App& app, ServeOptions& options) {
  CLI::App* serve = app.add_subcommand(
      "serve",
      "Run a simulated game server with the plug-in loaded. Commands come from standard input, one "
      "a line: sim.* drives the world, plugins.load / plugins.unload the library, quit ends; any "
      "other line is a console command typed by an administrator.");
  // Files and folders that cannot be used are unusable input (exit 2), found when the session
  // starts, as in `simulate`.
  serve
      ->add_option("--server-dir", options.server_dir,
                   "The server's folder, reported to the plug-in as its current directory")
      ->required();
  serve->add_option("--plugin", options.plugin, kPluginOptionHelp);
  serve->add_flag("--world-ready", options.world_ready,
                  "Load the plug-in into a running world (status 1) instead of a starting one");
  serve
      ->add_option("--corpse-decay", options.corpse_decay_seconds,
                   "Seconds of game time before a dead body is removed (default 60)")
      ->check(CLI::Validator(
          [](const std::string& text) -> std::string {
            double seconds = -1;
            if (!CLI::detail::lexical_cast(text, seconds) || !std::isfinite(seconds) ||
                seconds < 0) {
              return "expected seconds of game time, 0 or more, found " + text;
            }
            return {};
          },
          "SECONDS"));
  serve->add_flag("--echo", options.echo, "Print each input line as \"> LINE\" before its output");
  serve->add_flag("--events", options.show_events,
                  "Print every event the server records as \"[event] TEXT\"");
  serve->add_flag_callback(
      "--no-log-stdout", [&options] { options.log_to_stdout = false; },
      "Keep log entries out of standard output (they still go to DIR/logs/server.log)");
  serve->add_option("--scenario", options.scenario,
                    "A scenario file whose population and spawn zones the world gets; the zones "
                    "live on sim.advance (its timed actions are not run)");
  // A sign or a number beyond 64 bits would otherwise wrap silently.
  serve
      ->add_option("--seed", options.seed,
                   "Seed of the world's random draws, a whole number from 0 to 2^64-1 (default 1)")
      ->check(CLI::Validator(SeedError, "SEED"));

  CLI::Option* rcon_port =
      serve
          ->add_option("--rcon-port", options.rcon_port,
                       "Listen for RCON clients on this TCP port (0: any free port, printed)")
          ->check(CLI::Range(0, 65535));
  // The environment's password is taken only for a listener, so that a variable set for other
  // runs does not make a session without one bad usage.
  CLI::Option* rcon_password =
      serve
          ->add_option("--rcon-password", options.rcon_password,
                       "The password RCON clients authenticate with (or KESTROVAR_RCON_PASSWORD)")
          ->check([](const std::string& password) {
            return password.empty() ? std::string("the RCON password must not be empty")
                                    : std::string();
          });
  serve
      ->add_option("--rcon-bind", options.rcon_bind,
                   "The address the RCON listener binds to (default 127.0.0.1)")
      ->needs(rcon_port);
  serve
      ->add_option("--rcon-max-connections", options.rcon_max_connections,
                   "RCON connections open at once; more are refused (default 8)")
      ->check(CLI::Range(1, 1000))
      ->needs(rcon_port);
  serve->add_flag("--realtime", options.realtime,
                  "The game clock follows the wall clock (timer tasks and body decays run live)");

  // A port given, even 0, asks for the listener.
  serve->callback([&options, rcon_port, rcon_password] {
    options.rcon_listen = rcon_port->count() > 0;
    if (!options.rcon_listen && rcon_password->count() > 0) {
      throw CLI::ValidationError("--rcon-password",
                                 "it is used only with --rcon-port, the port to listen on for "
                                 "RCON clients; give both, or neither");
    }
    if (options.rcon_listen && rcon_password->count() == 0) {
      const char* from_environment = std::getenv("KESTROVAR_RCON_PASSWORD");
      if (from_environment == nullptr || *from_environment == '\0') {
        throw CLI::ValidationError("--rcon-port",
                                   "the RCON listener needs --rcon-password (or the environment "
                                   "variable KESTROVAR_RCON_PASSWORD), not empty");
      }
      options.rcon_password = from_environment;
    }
  });
  return serve;
}
