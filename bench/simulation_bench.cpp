// The simulator's speed: the built-in default scenario (a game day with the example
// configuration and the real plug-in library) in world events per second of processor time, and
// the same world over 24, 240 and 2 400 game hours with the peak memory of each run: both must grow
// linearly with the hours. So must a world where the creatures of a class without a limit get
// tamed and pile up (24, 2 400 and 12 000 game hours), and a run whose configuration has the
// plug-in write a file at each dump must cost what one without it costs.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "tools/common/plugin_path.h"
#include "tools/simulate/simulate_command.h"
#include "tools/simulate/simulation.h"

namespace {

void BM_SimulateDefaultDay(benchmark::State& state) {
  SimulationSetup setup;
  setup.scenario = ReadScenario(kDefaultScenario, "default");
  setup.config_text = kExampleConfig;
  setup.server_dir = (std::filesystem::temp_directory_path() / "kestrovar-simulate-bench").string();
  setup.plugin = DefaultPluginPath();
  uint64_t events = 0;
  for (auto _ : state) {
    std::filesystem::remove_all(setup.server_dir);
    const SimulationResult result = RunSimulation(setup);
    events += result.world_events;
    if (!result.faults.empty()) state.SkipWithError(result.faults.front().c_str());
  }
  state.SetItemsProcessed(static_cast<int64_t>(events));
  state.counters["world_events"] = static_cast<double>(events) / state.iterations();
}

// Resident memory of the process in kB ("VmRSS" or the peak "VmHWM"); 0 where /proc is missing.
double ResidentKb(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field + ":", 0) == 0) return std::stod(line.substr(field.size() + 1));
  }
  return 0;
}

// The peak is reset before each run (Linux: 5 to clear_refs), so each run reports its own.
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

void BM_SimulateHours(benchmark::State& state) {
  SimulationSetup setup;
  setup.scenario = ReadScenario(kDefaultScenario, "default");
  setup.scenario.hours = static_cast<double>(state.range(0));
  setup.config_text = kExampleConfig;
  setup.server_dir = (std::filesystem::temp_directory_path() / "kestrovar-simulate-bench").string();
  setup.plugin = DefaultPluginPath();
  uint64_t events = 0;
  double peak_mb = 0;
  double before_mb = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::remove_all(setup.server_dir);
    ResetPeak();
    before_mb = ResidentKb("VmRSS") / 1024;
    state.ResumeTiming();
    const SimulationResult result = RunSimulation(setup);
    events += result.world_events;
    peak_mb = std::max(peak_mb, ResidentKb("VmHWM") / 1024);
    if (!result.faults.empty()) state.SkipWithError(result.faults.front().c_str());
  }
  state.SetItemsProcessed(static_cast<int64_t>(events));
  state.counters["world_events"] = static_cast<double>(events) / state.iterations();
  state.counters["peak_MB"] = peak_mb;
  state.counters["peak_above_start_MB"] = peak_mb - before_mb;
}

constexpr const char* kStrider = "/Game/Creatures/Strider/Strider_Character.Strider_Character_C";
constexpr const char* kGrazer = "/Game/Creatures/Grazer/Grazer_Character.Grazer_Character_C";

// One zone of two classes: Striders without a limit, half of whose endings are tamings (the tamed
// stay in the world for good), and Grazers held at 6.
Scenario UnlimitedTaming(double hours) {
  Scenario scenario;
  scenario.hours = hours;
  scenario.sample_minutes = 10;
  scenario.classes[kStrider] = {0.5, 0.5};
  scenario.classes[kGrazer] = {0.5, 0.2};
  scenario.zones.push_back({"plain", {{kStrider, 1}, {kGrazer, 1}}, 20, 60, 1, 100, {}});
  return scenario;
}

void RunAndCount(benchmark::State& state, const SimulationSetup& setup) {
  uint64_t events = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::remove_all(setup.server_dir);
    state.ResumeTiming();
    const SimulationResult result = RunSimulation(setup);
    events += result.world_events;
    if (!result.faults.empty()) state.SkipWithError(result.faults.front().c_str());
  }
  state.SetItemsProcessed(static_cast<int64_t>(events));
  state.counters["world_events"] = static_cast<double>(events) / state.iterations();
  // Processor time per game hour: flat when the run is linear in the hours.
  state.counters["cpu_per_game_hour"] =
      benchmark::Counter(setup.scenario.hours, benchmark::Counter::kIsIterationInvariantRate |
                                                   benchmark::Counter::kInvert);
}

void BM_SimulateUnlimitedTaming(benchmark::State& state) {
  SimulationSetup setup;
  setup.scenario = UnlimitedTaming(static_cast<double>(state.range(0)));
  setup.config_text = R"({"Max_Dino_Counts": {"Blueprint'/Game/Creatures/Grazer/)"
                      R"(Grazer_Character.Grazer_Character'": 6}})";
  setup.server_dir = (std::filesystem::temp_directory_path() / "kestrovar-simulate-bench").string();
  setup.plugin = DefaultPluginPath();
  RunAndCount(state, setup);
}

// The default scenario over 480 game hours with the example configuration held for the whole run,
// "WriteDumpsToFile" false (0) or true (1).
void BM_SimulateDumpFiles(benchmark::State& state) {
  SimulationSetup setup;
  setup.scenario = ReadScenario(kDefaultScenario, "default");
  setup.scenario.hours = 480;
  nlohmann::json config = nlohmann::json::parse(kExampleConfig);
  config["WriteDumpsToFile"] = state.range(0) != 0;
  setup.config_text = config.dump();
  setup.keep_config = true;
  setup.server_dir = (std::filesystem::temp_directory_path() / "kestrovar-simulate-bench").string();
  setup.plugin = DefaultPluginPath();
  RunAndCount(state, setup);
}

}  // namespace

BENCHMARK(BM_SimulateDefaultDay)->Unit(benchmark::kMillisecond)->MinTime(2.0);
// Processor time; one run each of the longer ones (2 400 game hours take about 15 s).
BENCHMARK(BM_SimulateHours)->Arg(24)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_SimulateHours)->Arg(240)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_SimulateHours)->Arg(2400)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_SimulateUnlimitedTaming)->Arg(24)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_SimulateUnlimitedTaming)->Arg(2400)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_SimulateUnlimitedTaming)->Arg(12000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_SimulateDumpFiles)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SimulateDumpFiles)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
