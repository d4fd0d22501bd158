// The `kestrovar` program: `kestrovar serve` runs a simulated game server with the plug-in loaded;
// `kestrovar check` judges a config.json before the server reads it.

#include <CLI/CLI.hpp>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#endif

#include "tools/check/check_command.h"
#include "tools/serve/serve_options.h"
#include "tools/simulate/simulate_command.h"

int main(int argc, char** argv) {
#if defined(_WIN32)
  // The same bytes on every platform: no CR added before each line feed.
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  CLI::App app{"Kestrovar's simulated game server: try a configuration before it is deployed"};
  app.require_subcommand(1);

  ServeOptions options;
  CLI::App* serve = AddServeCommand(app, options);
  SimulateOptions simulate_options;
  CLI::App* simulate = AddSimulateCommand(app, simulate_options);
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
  if (serve->parsed()) return RunServe(options);
  return kCheckUsageError;
}
