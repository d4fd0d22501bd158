// The `kestrovar` program: `kestrovar serve` runs a simulated game server with the plug-in loaded;
// `kestrovar simulate` runs a scenario with it; `kestrovar check` judges a config.json before the
// server reads it; `kestrovar doctor` tells whether the plug-in will load in a server folder;
// `kestrovar report` holds the server's own censuses against the limits; `kestrovar rcon` and
// `kestrovar watch` talk to a live server over RCON.

#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#endif

#include "tools/check/check_command.h"
#include "tools/check/class_keys.h"
#include "tools/common/exit_codes.h"
#include "tools/common/output.h"
#include "tools/doctor/doctor_command.h"
#include "tools/rcon/rcon_command.h"
#include "tools/report/report_command.h"
#include "tools/serve/serve_options.h"
#include "tools/simulate/simulate_command.h"
#include "tools/stand_in_host.h"
#include "tools/watch/watch_command.h"

namespace {

constexpr const char* kExitCodes =
    "Exit codes, for every command:\n"
    "  0   done: the run completed with the configuration in force, or nothing to report\n"
    "  1   done, but the plug-in reported configuration errors (a failed load or reload, an\n"
    "      unusable value), the check, the doctor or the report found problems, or the\n"
    "      stand-in caught a fault; rcon: the reply says the command failed\n"
    "  2   input that cannot be used: a missing or unreadable file or folder, a bad scenario,\n"
    "      no census; rcon and watch: no server, a wrong password, a time-out\n"
    "  64  bad usage: an unknown command or option, a value out of range\n"
    "  130 stopped by Ctrl-C (simulate and watch write what they had done so far)";

// Help lines fit 100 columns: a longer one is broken at spaces, an option's or a command's
// description going on under the column where it started.
std::string WrapHelp(const std::string& help) {
  constexpr std::size_t kColumns = 100;
  constexpr std::size_t kDescriptionColumn = 30;  // where the formatter starts descriptions
  std::string wrapped;
  std::istringstream lines(help);
  std::string line;
  while (std::getline(lines, line)) {
    const bool listed = line.rfind("  ", 0) == 0 && line.size() > kDescriptionColumn;
    const std::size_t indent = listed ? kDescriptionColumn : 0;
    while (line.size() > kColumns) {
      const std::size_t cut = line.rfind(' ', kColumns);
      if (cut == std::string::npos || cut <= indent) break;
      wrapped.append(line, 0, cut).append("\n");
      const std::size_t rest = line.find_first_not_of(' ', cut);
      line = std::string(indent, ' ') + (rest == std::string::npos ? "" : line.substr(rest));
    }
    wrapped.append(line).append("\n");
  }
  return wrapped;
}

class WrappingFormatter : public CLI::Formatter {
 public:
  std::string make_help(const CLI::App* app, std::string name,
                        CLI::AppFormatMode mode) const override {
    return WrapHelp(CLI::Formatter::make_help(app, std::move(name), mode));
  }
};

}  // namespace

int main(int argc, char** argv) {
#if defined(_WIN32)
  // The same bytes on every platform: no CR added before each line feed.
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  // Named, so that every usage line starts with the program's name.
  CLI::App app{"Kestrovar's simulated game server: try a configuration before it is deployed",
               "kestrovar"};
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("kestrovar ") + KESTROVAR_VERSION);
  app.footer(kExitCodes);
  // Before the commands are added: they take the formatter of the program.
  app.formatter(std::make_shared<WrappingFormatter>());

  ServeOptions options;
  CLI::App* serve = AddServeCommand(app, options);
  SimulateOptions simulate_options;
  CLI::App* simulate = AddSimulateCommand(app, simulate_options);
  CheckOptions check_options;
  CLI::App* check = AddCheckCommand(app, check_options);
  DoctorOptions doctor_options;
  CLI::App* doctor = AddDoctorCommand(app, doctor_options);
  ReportOptions report_options;
  CLI::App* report = AddReportCommand(app, report_options);
  RconOptions rcon_options;
  CLI::App* rcon = AddRconCommand(app, rcon_options);
  WatchOptions watch_options;
  CLI::App* watch = AddWatchCommand(app, watch_options);

  // A first word that is not an option must name a command: `help [COMMAND]`, or the closest
  // command is suggested.
  if (argc > 1 && argv[1][0] != '-') {
    std::vector<std::string> names;
    for (const CLI::App* command : app.get_subcommands({})) names.push_back(command->get_name());
    const auto unknown = [&names](const std::string& word) {
      if (std::find(names.begin(), names.end(), word) != names.end()) return false;
      const std::string closest = ClosestOf(word, names, 3);
      PrintError("kestrovar: unknown command \"" + word + "\"" +
                 (closest.empty() ? "." : "; did you mean \"" + closest + "\"?") +
                 " Run kestrovar --help for the commands.");
      return true;
    };
    if (std::string(argv[1]) == "help") {
      // `help help` asks what help tells: the general help.
      if (argc == 2 || (argc == 3 && std::string(argv[2]) == "help")) {
        std::cout << app.help();
        return kExitOk;
      }
      if (argc > 3) {
        PrintError(
            "kestrovar: help takes one command at most. Run kestrovar --help for the commands.");
        return kExitUsage;
      }
      if (unknown(argv[2])) return kExitUsage;
      std::cout << app.get_subcommand(argv[2])->help(app.get_name());
      return kExitOk;
    }
    if (unknown(argv[1])) return kExitUsage;
  }

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // --help and --version print and succeed; every other parser error is bad usage.
    const int code = app.exit(error);
    return code == 0 ? kExitOk : kExitUsage;
  }
  // What a command did not catch itself (running out of memory while it prints, say) ends it with a
  // sentence and exit 2, never with an abort.
  try {
    if (check->parsed()) return RunCheck(check_options);
    if (doctor->parsed()) return RunDoctor(doctor_options);
    if (report->parsed()) return RunReport(report_options, std::cout);
    // The two that run the plug-in in the stand-in host: before their first call into it.
    if ((simulate->parsed() || serve->parsed()) && !StandInHostReady()) return kExitUnusableInput;
    if (simulate->parsed()) return RunSimulate(simulate_options);
    if (serve->parsed()) return RunServe(options);
    if (rcon->parsed()) return RunRcon(rcon_options);
    if (watch->parsed()) return RunWatch(watch_options);
  } catch (const std::exception& error) {
    PrintFailure("kestrovar: ", error);
    return kExitUnusableInput;
  }
  return kExitUsage;
}
