#include <CLI/CLI.hpp>

#include "tools/common/plugin_path.h"
#include "tools/common/seed.h"
#include "tools/serve/serve_options.h"

CLI::App* AddServeCommand(CLI::App& app, ServeOptions& options) {
  CLI::App* serve = app.add_subcommand(
      "serve",
      "Run a simulated game server with the plug-in loaded. Commands come from standard input, one "
      "a line: sim.* drives the world, plugins.load / plugins.unload the library, quit ends; any "
      "other line is a console command typed by an administrator.");
  serve
      ->add_option("--server-dir", options.server_dir,
                   "The server's folder, reported to the plug-in as its current directory")
      ->required()
      ->check(CLI::ExistingDirectory);
  serve->add_option("--plugin", options.plugin, kPluginOptionHelp)->check(CLI::ExistingFile);
  serve->add_flag("--world-ready", options.world_ready,
                  "Load the plug-in into a running world (status 1) instead of a starting one");
  serve
      ->add_option("--corpse-decay", options.corpse_decay_seconds,
                   "Seconds of game time before a dead body is removed (default 60)")
      ->check(CLI::NonNegativeNumber);
  serve->add_flag("--echo", options.echo, "Print each input line as \"> LINE\" before its output");
  serve->add_flag("--events", options.show_events,
                  "Print every event the server records as \"[event] TEXT\"");
  serve->add_flag_callback(
      "--no-log-stdout", [&options] { options.log_to_stdout = false; },
      "Keep log entries out of standard output (they still go to DIR/logs/server.log)");
  serve
      ->add_option("--scenario", options.scenario,
                   "A scenario file whose population and spawn zones the world gets; the zones "
                   "live on sim.advance (its timed actions are not run)")
      ->check(CLI::ExistingFile);
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
  serve
      ->add_option("--rcon-password", options.rcon_password,
                   "The password RCON clients authenticate with (or KESTROVAR_RCON_PASSWORD)")
      ->envname("KESTROVAR_RCON_PASSWORD")
      ->check([](const std::string& password) {
        return password.empty() ? std::string("the RCON password must not be empty")
                                : std::string();
      });
  rcon_port->needs("--rcon-password");
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
  serve->callback([&options, rcon_port] { options.rcon_listen = rcon_port->count() > 0; });
  return serve;
}
