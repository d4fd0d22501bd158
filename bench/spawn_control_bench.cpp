// What the plug-in costs the game: a spawn through the gate as the number of configured classes
// grows, the same spawn without the plug-in (the stand-in's own share), the start-up sweep over a
// world of N creatures, and a census dump of K classes.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "admin/dump_command.h"
#include "config/config.h"
#include "devserver/control/server.h"
#include "plugin/entry_point.h"
#include "spawn_control/dino_counts.h"
#include "spawn_control/startup_sweep.h"

namespace {

std::string Reference(int index) {
  return "/Game/Creatures/Kind" + std::to_string(index) + "/Kind" + std::to_string(index) +
         "_Character.Kind" + std::to_string(index) + "_Character_C";
}

// A server with `classes` limited classes in its configuration, the plug-in loaded into it.
class BenchServer {
 public:
  BenchServer(int classes, bool load_plugin) {
    dir_ = std::filesystem::temp_directory_path() / "kestrovar-bench";
    std::filesystem::remove_all(dir_);
    const auto plugin_dir = dir_ / "ArkApi" / "Plugins" / "Kestrovar";
    std::filesystem::create_directories(plugin_dir);
    std::ofstream file(plugin_dir / "config.json");
    file << "{\"Max_Dino_Counts\":{";
    for (int i = 0; i < classes; ++i) {
      file << (i ? "," : "") << '"' << devserver::ClassKeyOf(Reference(i)) << "\":1000000000";
    }
    file << "}}";
    file.close();
    devserver::ServerOptions options;
    options.server_dir = dir_.string();
    options.world_ready = true;
    options.log_to_stdout = false;
    options.record_events = false;
    devserver::StartServer(options);
    devserver::SetOutput([](std::string_view) {});
    if (load_plugin) OnLibraryAttach();
    loaded_ = load_plugin;
  }
  ~BenchServer() {
    if (loaded_) OnLibraryDetach();
    ClearDinoCounts();
    config = nullptr;
    devserver::StopServer();
    std::filesystem::remove_all(dir_);
  }

 private:
  std::filesystem::path dir_;
  bool loaded_ = false;
};

// One spawn through the zone and the creature's removal: the gate counts it up, the removal
// counts it down, so the world and the table stay the same size however long it runs.
void SpawnAndRemove(benchmark::State& state, bool load_plugin) {
  const int classes = static_cast<int>(state.range(0));
  BenchServer server(classes, load_plugin);
  devserver::SpawnRequest request;
  request.level = 30;
  std::vector<std::string> references;
  for (int i = 0; i < classes; ++i) references.push_back(Reference(i));
  size_t next = 0;
  for (auto _ : state) {
    request.reference = references[next];
    next = next + 1 == references.size() ? 0 : next + 1;
    const auto ids = devserver::Spawn(request);
    devserver::Destroy(ids.front());
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_SpawnThroughGate(benchmark::State& state) { SpawnAndRemove(state, true); }
void BM_SpawnWithoutPlugin(benchmark::State& state) { SpawnAndRemove(state, false); }

void BM_StartupSweep(benchmark::State& state) {
  const int creatures = static_cast<int>(state.range(0));
  BenchServer server(16, true);
  devserver::PlaceRequest request;
  for (int i = 0; i < creatures; ++i) {
    request.reference = Reference(i % 16);
    devserver::Place(request);
  }
  for (auto _ : state) InitDinoCounts();
  state.SetItemsProcessed(state.iterations() * creatures);
}

void BM_DumpOverRcon(benchmark::State& state) {
  const int classes = static_cast<int>(state.range(0));
  BenchServer server(classes, true);
  devserver::SpawnRequest request;
  for (int i = 0; i < classes; ++i) {
    request.reference = Reference(i);
    devserver::Spawn(request);
  }
  for (auto _ : state) devserver::RconCommand("kvar.dumpdinos");
  state.SetItemsProcessed(state.iterations() * classes);
}

}  // namespace

BENCHMARK(BM_SpawnThroughGate)->RangeMultiplier(10)->Range(10, 10000);
BENCHMARK(BM_SpawnWithoutPlugin)->RangeMultiplier(10)->Range(10, 10000);
// Every sweep marks each creature again, so the runs are kept short.
BENCHMARK(BM_StartupSweep)->RangeMultiplier(10)->Range(100, 100000)->Iterations(20);
BENCHMARK(BM_DumpOverRcon)->RangeMultiplier(10)->Range(10, 10000);

BENCHMARK_MAIN();
