// The simulator's speed: the built-in default scenario (a game day with the example
// configuration and the real plug-in library) in world events per second of processor time.

#include <benchmark/benchmark.h>

#include <filesystem>

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

}  // namespace

BENCHMARK(BM_SimulateDefaultDay)->Unit(benchmark::kMillisecond)->MinTime(2.0);

BENCHMARK_MAIN();
