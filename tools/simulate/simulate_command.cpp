// `kestrovar simulate`: runs a scenario with the plug-in and writes the table, the CSV and the
// chart.

#include "tools/simulate/simulate_command.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sstream>

#include "tools/check/class_keys.h"
#include "tools/check/config_check.h"
#include "tools/check/print_findings.h"
#include "tools/common/chart.h"
#include "tools/common/exit_codes.h"
#include "tools/common/files.h"
#include "tools/common/interruption.h"
#include "tools/common/output.h"
#include "tools/common/plugin_path.h"
#include "tools/common/seed.h"
#include "tools/scenario/scenario.h"
#include "tools/simulate/dump_world.h"
#include "tools/simulate/output_folder.h"
#include "tools/simulate/progress_bar.h"
#include "tools/simulate/simulation_report.h"

namespace {

namespace fs = std::filesystem;

constexpr double kMaxHours = 100000;  // about eleven years of game time

std::string Shortest(double number) {
  std::ostringstream text;
  text << number;
  return text.str();
}

// The keys of every class the scenario brings into the world: its zones' mix, its population and
// its arrivals.
std::vector<std::string> ScenarioClasses(const Scenario& scenario) {
  std::vector<std::string> classes;
  for (const auto& zone : scenario.zones) {
    for (const auto& [reference, weight] : zone.mix)
      classes.push_back(ClassKeyOfReference(reference));
  }
  for (const auto& group : scenario.population) {
    classes.push_back(ClassKeyOfReference(group.reference));
  }
  for (const auto& action : scenario.actions) {
    if (!action.group.reference.empty()) {
      classes.push_back(ClassKeyOfReference(action.group.reference));
    }
  }
  return classes;
}

}  // namespace

int RunSimulate(const SimulateOptions& options) {
  SimulationSetup setup;
  std::vector<std::string> dump_notes;  // what the dump's world left out and assumed
  bool dump_left_out = false;           // a dumped class is not in the world: a warning
  std::vector<std::string> dump_keys;   // every key of the dump, as written
  try {
    setup.seed = ParseSeed(options.seed);
    const std::string scenario_text =
        options.scenario.empty() ? kDefaultScenario : ReadFileOrThrow(options.scenario, "scenario");
    setup.scenario_name =
        options.scenario.empty() ? "the built-in examples/default-scenario.json" : options.scenario;
    setup.scenario =
        ReadScenario(scenario_text, options.scenario.empty() ? "examples/default-scenario.json"
                                                             : options.scenario);
    setup.config_text =
        options.config.empty() ? kExampleConfig : ReadFileOrThrow(options.config, "configuration");
    setup.config_name =
        options.config.empty() ? "the built-in examples/config.json" : options.config;
    if (!options.from_dump.empty()) {
      const std::string dump_text = ReadFileOrThrow(options.from_dump, "dump");
      const DumpWorld world = ReadDumpWorld(dump_text, options.from_dump);
      dump_keys = world.keys;
      dump_notes = world.notes;
      dump_left_out = world.left_out > 0;
      const std::vector<std::string> put = PutDumpWorld(setup.scenario, world);
      dump_notes.insert(dump_notes.end(), put.begin(), put.end());
      setup.scenario_name += " in the world of " + options.from_dump;
      setup.from_dump = options.from_dump;
      for (const DumpedClass& dumped : world.classes)
        setup.dumped_counts[dumped.key] = dumped.count;
    }
  } catch (const std::exception& error) {
    PrintFailure("kestrovar simulate: ", error);
    return kExitUnusableInput;
  }
  // The same check as `kestrovar check`, against the classes the scenario brings in, so that a
  // limit that never applies is named before the run shows it. With JSON on standard output, the
  // findings are in the JSON instead. Its errors are errors of the run.
  setup.class_keys = ScenarioClasses(setup.scenario);
  // In the world of a dump the check reads the dump as `check --classes` does: every key in it as
  // written (a letter outside ASCII as "?"), and only the classes the plug-in had met so far.
  // An empty world's dump lists no class: every limit is one not met yet.
  const bool from_dump = !options.from_dump.empty();
  const std::vector<std::string>& checked_keys = from_dump ? dump_keys : setup.class_keys;
  setup.config_findings = CheckConfigText(
      setup.config_text, options.config.empty() ? "examples/config.json" : options.config,
      checked_keys, from_dump ? ClassListKind::kMetSoFar : ClassListKind::kAllClasses);
  if (options.format != "json") {
    std::cout << "configuration check of " << setup.config_name << ":\n";
    PrintFindings(setup.config_findings, FindingsFormat::kText, std::cout);
    std::cout << "\n";
    std::cout.flush();
  }
  if (options.hours) setup.scenario.hours = *options.hours;
  // The operator's own configuration holds for the whole run of the built-in scenario.
  // So does any configuration in the world of a dump: the question is what it does there.
  setup.keep_config =
      (options.scenario.empty() && !options.config.empty()) || !options.from_dump.empty();
  setup.plugin = options.plugin.empty() ? DefaultPluginPath() : options.plugin;
  if (const std::string why = FileToReadProblem(setup.plugin); !why.empty()) {
    PrintError("kestrovar simulate: cannot load the plug-in " + setup.plugin + ": " + why);
    return kExitUnusableInput;
  }
  // A bar on a terminal, a plain line now and then on a long run otherwise.
  setup.progress = true;

  const fs::path out_dir = options.out_dir;
  SimulationResult result;
  fs::path server;
  try {
    server = PrepareOutputFolder(out_dir);
  } catch (const std::exception& error) {
    PrintFailure("kestrovar simulate: ", error);
    return kExitUnusableInput;
  }
  setup.server_dir = server.string();
  // Ctrl-C stops the run at the next sample; what was done is written as usual.
  ClearStopRequest();
  CatchInterruption();
  std::string run_error;
  try {
    result = RunSimulation(setup);
  } catch (const std::exception& error) {
    run_error = ErrorText(error);
  }
  // Whatever the run left in the simulated server's folder is listed, even after a failure, so
  // that the next run may delete it.
  try {
    RecordServerFolder(server);
  } catch (const std::exception& error) {
    if (run_error.empty()) run_error = ErrorText(error);
  }
  if (!run_error.empty()) {
    PrintError("kestrovar simulate: " + run_error);
    return kExitUnusableInput;
  }
  result.notes.insert(result.notes.begin(), dump_notes.begin(), dump_notes.end());

  std::string files;
  std::vector<std::string> written;
  try {
    WriteWholeFile(out_dir / "census.csv", CensusCsv(result));
    written.push_back("census.csv");
    files += "census: " + (out_dir / "census.csv").generic_string() + "\n";
    const fs::path svg = out_dir / "population.svg";
    const fs::path script = out_dir / "population.gp";
    const std::string plot = GnuplotScript(result, svg.filename().generic_string());
    if (plot.empty()) {
      files += "chart: not drawn, no class had a limit\n";
    } else {
      WriteWholeFile(script, plot);
      written.insert(written.end(), {"population.gp", "population.svg"});
      files += DrawChart(script, svg) + "\n";
    }
    RecordOutputFiles(out_dir, written);
  } catch (const std::exception& error) {
    PrintError("kestrovar simulate: " + ErrorText(error));
    try {
      RecordOutputFiles(out_dir, {"census.csv", "population.gp", "population.svg"});
    } catch (const std::exception&) {
      // The first error is the one to tell.
    }
    return kExitUnusableInput;
  }

  if (options.format == "json") {
    std::cout << FormatJson(setup, result);
    std::cerr << files;
  } else {
    std::cout << FormatTable(setup, result, options.wide) << files;
  }
  std::cout.flush();
  if (result.interrupted) {
    PrintError("kestrovar simulate: stopped by Ctrl-C after " +
               Shortest(std::round(result.hours_done * 10) / 10) +
               " game hours; the table, the census and the chart cover them");
    return kExitInterrupted;
  }
  // Warnings of the check count as much as errors: a configuration in the run that the check finds
  // fault with (the operator's, or one the scenario wrote) ends the run with exit code 1.
  const bool findings =
      std::any_of(result.config_checks.begin(), result.config_checks.end(),
                  [](const ConfigCheck& check) { return ExitStatusOf(check.findings) != kExitOk; });
  return result.faults.empty() && result.config_errors.empty() && !findings && !dump_left_out
             ? kExitOk
             : kExitWarnings;
}

CLI::App* AddSimulateCommand(CLI::App& app, SimulateOptions& options) {
  CLI::App* simulate = app.add_subcommand(
      "simulate",
      "Run a scenario in game time with the plug-in loaded and report, per class, what the "
      "configuration does: a table, DIR/census.csv and the chart DIR/population.svg. Without "
      "options: the built-in default scenario (a game day) with the example configuration.");
  // A file that cannot be read is unusable input (exit 2), found when the run starts.
  simulate->add_option("--scenario", options.scenario, "The scenario file (JSON)");
  simulate->add_option("--config", options.config, "The plug-in's config.json to try");
  simulate->add_option("--from-dump", options.from_dump,
                       "A dump file of the plug-in (DinoDumpLog_*.txt), or the server's log (its "
                       "last census): the world starts with its populations, and the report says "
                       "what the plug-in's first load removes");
  simulate
      ->add_option("--hours", options.hours,
                   "Game hours to run, above 0 and at most " + Shortest(kMaxHours) +
                       " (default: the scenario's)")
      ->check(CLI::Validator(
          [](const std::string& text) -> std::string {
            double hours = 0;
            if (!CLI::detail::lexical_cast(text, hours) || !(hours > 0 && hours <= kMaxHours)) {
              return "expected game hours above 0 and at most " + Shortest(kMaxHours) + ", found " +
                     text;
            }
            return {};
          },
          "HOURS"));
  simulate
      ->add_option("--seed", options.seed,
                   "Seed of the world's random draws, a whole number from 0 to " +
                       std::to_string(UINT64_MAX) + " (default 1)")
      ->check(CLI::Validator(SeedError, "SEED"));
  simulate->add_option("--out", options.out_dir,
                       "Folder for census.csv, population.svg and the simulated server "
                       "(default kestrovar-simulation)");
  simulate->add_option("--format", options.format, "Table as text (default) or json")
      ->check(CLI::IsMember({"text", "json"}));
  simulate->add_flag("--wide", options.wide,
                     "Full class keys in the table instead of short names and a legend");
  simulate->add_option("--plugin", options.plugin, kPluginOptionHelp);

  return simulate;
}
