// The `kestrovar` program: `kestrovar serve` runs a simulated game server with the plug-in loaded;
// `kestrovar check` judges a config.json before the server reads it.

#include <CLI/CLI.hpp>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#endif

#include "tools/check_command.h"
#include "tools/serve_options.h"
#include "tools/simulate_command.h"

int main(int argc, char** argv) {
#if defined(_WIN32)
  // The same bytes on every platform: no CR added before each line feed.
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  CLI::App app{"Kestrovar's simulated game server: try a configuration before it is deployed"};
  app.require_subcommand(1);

  ServeOptions options;
  bool no_log_stdout = false;
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
  serve
      ->add_option("--plugin", options.plugin,
                   "The plug-in library (default: the Kestrovar library beside this program)")
      ->check(CLI::ExistingFile);
  serve->add_flag("--world-ready", options.world_ready,
                  "Load the plug-in into a running world (status 1) instead of a starting one");
  serve
      ->add_option("--corpse-decay", options.corpse_decay_seconds,
                   "Seconds of game time before a dead body is removed (default 60)")
      ->check(CLI::NonNegativeNumber);
  serve->add_flag("--echo", options.echo, "Print each input line as \"> LINE\" before its output");
  serve->add_flag("--events", options.show_events,
                  "Print every event the server records as \"[event] TEXT\"");
  serve->add_flag("--no-log-stdout", no_log_stdout,
                  "Keep log entries out of standard output (they still go to DIR/logs/server.log)");
  serve
      ->add_option("--scenario", options.scenario,
                   "A scenario file whose population and spawn zones the world gets; the zones "
                   "live on sim.advance (its timed actions are not run)")
      ->check(CLI::ExistingFile);
  serve->add_option("--seed", options.seed, "Seed of the world's random draws (default 1)");

  SimulateOptions simulate_options;
  CLI::App* simulate = app.add_subcommand(
      "simulate",
      "Run a scenario in game time with the plug-in loaded and report, per class, what the "
      "configuration does: a table, DIR/census.csv and the chart DIR/population.svg. Without "
      "options: the built-in default scenario (a game day) with the example configuration.");
  simulate->add_option("--scenario", simulate_options.scenario, "The scenario file (JSON)")
      ->check(CLI::ExistingFile);
  simulate->add_option("--config", simulate_options.config, "The plug-in's config.json to try")
      ->check(CLI::ExistingFile);
  simulate
      ->add_option("--hours", simulate_options.hours, "Game hours to run (default: the scenario's)")
      ->check(CLI::PositiveNumber);
  simulate->add_option("--seed", simulate_options.seed,
                       "Seed of the world's random draws (default 1)");
  simulate->add_option("--out", simulate_options.out_dir,
                       "Folder for census.csv, population.svg and the simulated server "
                       "(default kestrovar-simulation)");
  simulate->add_option("--format", simulate_options.format, "Table as text (default) or json")
      ->check(CLI::IsMember({"text", "json"}));
  simulate
      ->add_option("--plugin", simulate_options.plugin,
                   "The plug-in library (default: the Kestrovar library beside this program)")
      ->check(CLI::ExistingFile);

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

  CheckOptions check_options;
  CLI::App* check = AddCheckCommand(app, check_options);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error);
    return code != 0 && check->parsed() ? kCheckUsageError : code;
  }
  if (check->parsed()) return RunCheck(check_options);
  if (simulate->parsed()) return RunSimulate(simulate_options);
  options.log_to_stdout = !no_log_stdout;
  options.rcon_listen = rcon_port->count() > 0;
  return RunServe(options);
}
