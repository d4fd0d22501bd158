// `kestrovar simulate`: runs a scenario with the plug-in and writes the table, the CSV and the
// chart.

#include "tools/simulate/simulate_command.h"

#include <CLI/CLI.hpp>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "tools/check/class_keys.h"
#include "tools/check/config_check.h"
#include "tools/check/print_findings.h"
#include "tools/common/output.h"
#include "tools/common/plugin_path.h"
#include "tools/scenario/located_json.h"
#include "tools/simulate/progress_bar.h"
#include "tools/simulate/simulation_report.h"

namespace {

namespace fs = std::filesystem;

std::string ReadFileOrThrow(const std::string& path, const char* what) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read the " + std::string(what) + " " + path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFileOrThrow(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

#if defined(_WIN32)
constexpr const char* kQuiet = " >NUL 2>&1";
#else
constexpr const char* kQuiet = " >/dev/null 2>&1";
#endif

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// gnuplot runs as a child process; without it, the script stays for later. Returns what to tell
// the operator.
std::string DrawChart(const fs::path& script, const fs::path& svg) {
  if (std::system((std::string("gnuplot --version") + kQuiet).c_str()) != 0) {
    return "chart: not drawn, gnuplot was not found. Install it (Debian: apt-get install "
           "gnuplot-nox) and run: gnuplot " +
           Quoted(script.generic_string());
  }
  if (std::system(("gnuplot " + Quoted(script.generic_string()) + kQuiet).c_str()) != 0 ||
      !fs::exists(svg)) {
    return "chart: gnuplot failed on " + script.generic_string() +
           "; run it by hand to see why: gnuplot " + Quoted(script.generic_string());
  }
  return "chart: " + svg.generic_string();
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
  try {
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
  } catch (const std::exception& error) {
    PrintError(std::string("kestrovar simulate: ") + error.what());
    return 2;
  }
  // The same check as `kestrovar check`, against the classes the scenario brings in, so that a
  // limit that never applies is named before the run shows it. With JSON on standard output, the
  // findings go to standard error.
  {
    std::ostream& out = options.format == "json" ? std::cerr : std::cout;
    out << "configuration check of " << setup.config_name << ":\n";
    PrintFindings(CheckConfigText(setup.config_text,
                                  options.config.empty() ? "examples/config.json" : options.config,
                                  ScenarioClasses(setup.scenario)),
                  FindingsFormat::kText, out);
    out << "\n";
    out.flush();
  }
  if (options.hours) setup.scenario.hours = *options.hours;
  setup.seed = options.seed;
  setup.plugin = options.plugin.empty() ? DefaultPluginPath() : options.plugin;
  setup.progress = StandardErrorIsTerminal();

  const fs::path out_dir = options.out_dir;
  SimulationResult result;
  try {
    fs::create_directories(out_dir);
    // The simulated server's folder is ours: a run starts from a clean one.
    const fs::path server_dir = out_dir / "server";
    fs::remove_all(server_dir);
    fs::create_directories(server_dir);
    setup.server_dir = server_dir.string();
    result = RunSimulation(setup);
  } catch (const std::exception& error) {
    PrintError(std::string("kestrovar simulate: ") + error.what());
    return 2;
  }

  std::string files;
  try {
    WriteFileOrThrow(out_dir / "census.csv", CensusCsv(result));
    files += "census: " + (out_dir / "census.csv").generic_string() + "\n";
    const fs::path svg = out_dir / "population.svg";
    const fs::path script = out_dir / "population.gp";
    fs::remove(svg);
    const std::string plot = GnuplotScript(result, svg.generic_string());
    if (plot.empty()) {
      files += "chart: not drawn, no class had a limit\n";
    } else {
      WriteFileOrThrow(script, plot);
      files += DrawChart(script, svg) + "\n";
    }
  } catch (const std::exception& error) {
    PrintError(std::string("kestrovar simulate: ") + error.what());
    return 2;
  }

  if (options.format == "json") {
    std::cout << FormatJson(setup, result);
    std::cerr << files;
  } else {
    std::cout << FormatTable(setup, result) << files;
  }
  std::cout.flush();
  return result.faults.empty() ? 0 : 1;
}

CLI::App* AddSimulateCommand(CLI::App& app, SimulateOptions& options) {
  CLI::App* simulate = app.add_subcommand(
      "simulate",
      "Run a scenario in game time with the plug-in loaded and report, per class, what the "
      "configuration does: a table, DIR/census.csv and the chart DIR/population.svg. Without "
      "options: the built-in default scenario (a game day) with the example configuration.");
  simulate->add_option("--scenario", options.scenario, "The scenario file (JSON)")
      ->check(CLI::ExistingFile);
  simulate->add_option("--config", options.config, "The plug-in's config.json to try")
      ->check(CLI::ExistingFile);
  simulate->add_option("--hours", options.hours, "Game hours to run (default: the scenario's)")
      ->check(CLI::PositiveNumber);
  simulate->add_option("--seed", options.seed, "Seed of the world's random draws (default 1)");
  simulate->add_option("--out", options.out_dir,
                       "Folder for census.csv, population.svg and the simulated server "
                       "(default kestrovar-simulation)");
  simulate->add_option("--format", options.format, "Table as text (default) or json")
      ->check(CLI::IsMember({"text", "json"}));
  simulate
      ->add_option("--plugin", options.plugin,
                   "The plug-in library (default: the Kestrovar library beside this program)")
      ->check(CLI::ExistingFile);

  return simulate;
}
