// What the plug-in costs the game, side by side with what it is measured against, in one process:
//   BM_Spawn/bare|accepted|rejected/K  a spawn through the zone and its removal, K classes
//                                      configured and counted (bare: without the plug-in)
//   BM_Floor/K                         the least any per-class cap must do for the same work
//   BM_Scan/N                          a limiter that counts the spawning class among N live actors
//   BM_Sweep/N, BM_Recount/N           the start-up sweep over N creatures in 64 classes, and a
//                                      plain recount walk over the same world
//   BM_Dump/K, BM_Reload/K             kvar.dumpdinos and kvar.reload over RCON
// After the table, the program prints the ratios, the tick arithmetic, the allocations of one
// spawn and the peak memory of the largest sweep (see docs/performance.md).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "bench/heap_allocations.h"
#include "config/config.h"
#include "devserver/control/server.h"
#include "host/game_functions.h"
#include "host/text.h"
#include "plugin/entry_point.h"
#include "spawn_control/dino_counts.h"
#include "spawn_control/startup_sweep.h"

#if defined(__linux__)
#include <unistd.h>

namespace {
long ProcessId() { return static_cast<long>(getpid()); }
// Resident and peak resident memory of the process, in bytes; the peak is reset on request.
long long StatusBytes(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0)
      return std::atoll(line.c_str() + std::string(field).size()) * 1024;
  }
  return -1;
}
long long ResidentBytes() { return StatusBytes("VmRSS:"); }
long long PeakResidentBytes() { return StatusBytes("VmHWM:"); }
bool ResetPeakResident() {
  std::ofstream clear_refs("/proc/self/clear_refs");
  clear_refs << "5";
  return static_cast<bool>(clear_refs.flush());
}
}  // namespace
#else
namespace {
long ProcessId() { return 0; }
long long ResidentBytes() { return -1; }
long long PeakResidentBytes() { return -1; }
bool ResetPeakResident() { return false; }
}  // namespace
#endif

namespace {

constexpr int kSweepClasses = 64;
constexpr int kScanClasses = 16;
constexpr double kTickSeconds = 1.0 / 30;
constexpr int kBurst = 1000;

std::string Reference(int index) {
  return "/Game/Creatures/Kind" + std::to_string(index) + "/Kind" + std::to_string(index) +
         "_Character.Kind" + std::to_string(index) + "_Character_C";
}

std::vector<std::string> References(int count) {
  std::vector<std::string> references;
  for (int i = 0; i < count; ++i) references.push_back(Reference(i));
  return references;
}

// One spawn of each class at the request's level, so that every class is in the table.
void SpawnOneOfEach(const std::vector<std::string>& references, devserver::SpawnRequest request) {
  for (const std::string& reference : references) {
    request.reference = reference;
    devserver::Spawn(request);
  }
}

// A server whose configuration limits `classes` classes to `limit` each, with the level rule on,
// and the plug-in loaded into its running world unless `load_plugin` is false.
class BenchServer {
 public:
  BenchServer(int classes, bool load_plugin, int64_t limit = 1000000000) {
    dir_ =
        std::filesystem::temp_directory_path() / ("kestrovar-bench-" + std::to_string(ProcessId()));
    std::filesystem::remove_all(dir_);
    const auto plugin_dir = dir_ / "ArkApi" / "Plugins" / "Kestrovar";
    std::filesystem::create_directories(plugin_dir);
    std::ofstream file(plugin_dir / "config.json");
    file << "{\"Max_Dino_Counts\":{";
    for (int i = 0; i < classes; ++i) {
      file << (i ? "," : "") << '"' << devserver::ClassKeyOf(Reference(i)) << "\":" << limit;
    }
    file << "},\"DestroyDinosOverLevel\":true,\"MaxDinoLevel\":150}";
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
    ReplaceConfig(nullptr);
    devserver::StopServer();
    std::filesystem::remove_all(dir_);
  }
  BenchServer(const BenchServer&) = delete;
  BenchServer& operator=(const BenchServer&) = delete;

 private:
  std::filesystem::path dir_;
  bool loaded_ = false;
};

}  // namespace

namespace {

// --- Spawns
// ----------------------------------------------------------------------------------------

enum class SpawnCase { kBare, kAccepted, kRejected };

// One spawn through the default zone and the creature's removal, so that the table keeps its size
// however long it runs. Every class already has one counted creature. Accepted and bare creatures
// are removed at once; a rejected one by the plug-in's deferred removal, run by moving the clock.
// One measured round, a function of its own so that a profiler can be pointed at it alone
// (valgrind --tool=callgrind --toggle-collect='*SpawnAndRemove*').
[[gnu::noinline]] void SpawnAndRemove(const devserver::SpawnRequest& request, SpawnCase which) {
  const auto ids = devserver::Spawn(request);
  if (which == SpawnCase::kRejected) {
    devserver::Advance(5);
  } else {
    devserver::Destroy(ids.front());
  }
}

void BM_Spawn(benchmark::State& state, SpawnCase which) {
  const int classes = static_cast<int>(state.range(0));
  BenchServer server(classes, which != SpawnCase::kBare,
                     which == SpawnCase::kRejected ? 1 : 1000000000);
  devserver::SpawnRequest request;
  request.level = 30;
  const std::vector<std::string> references = References(classes);
  SpawnOneOfEach(references, request);
  size_t next = 0;
  for (auto _ : state) {
    request.reference = references[next];
    next = next + 1 == references.size() ? 0 : next + 1;
    SpawnAndRemove(request, which);
  }
  state.SetItemsProcessed(state.iterations());
}

// The least a per-class cap must do for one spawn and its removal: a lookup and increment, then a
// lookup and decrement, keyed by the class key's text.
void BM_Floor(benchmark::State& state) {
  const int classes = static_cast<int>(state.range(0));
  std::vector<std::string> keys;
  std::unordered_map<std::string, uint32_t> counts;
  for (const std::string& reference : References(classes)) {
    keys.push_back(devserver::ClassKeyOf(reference));
    counts[keys.back()] = 1;
  }
  size_t next = 0;
  for (auto _ : state) {
    const std::string& key = keys[next];
    next = next + 1 == keys.size() ? 0 : next + 1;
    ++counts[key];
    benchmark::ClobberMemory();
    --counts[key];
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}

// A limiter that counts by walking the world: at each spawn, the creatures of the spawning class
// among all live actors. Classes are compared by pointer, the cheapest such walk can be.
void BM_Scan(benchmark::State& state) {
  const int creatures = static_cast<int>(state.range(0));
  BenchServer server(kScanClasses, false);
  devserver::PlaceRequest request;
  const std::vector<std::string> references = References(kScanClasses);
  for (int i = 0; i < creatures; ++i) {
    request.reference = references[static_cast<size_t>(i % kScanClasses)];
    devserver::Place(request);
  }
  std::vector<UClass*> classes;
  for (const std::string& reference : references)
    classes.push_back(devserver::CreatureClass(reference));
  UWorld* world = devserver::World();
  size_t next = 0;
  for (auto _ : state) {
    UClass* spawning = classes[next];
    next = next + 1 == classes.size() ? 0 : next + 1;
    EngineArray<AActor*> actors;
    game::GetAllActorsOfClass(world, game::DinoStaticClass(), &actors);
    int count = 0;
    for (AActor* actor : actors) count += game::ObjectClass(actor) == spawning ? 1 : 0;
    benchmark::DoNotOptimize(count);
  }
  state.SetItemsProcessed(state.iterations());
}

// --- Sweep
// -----------------------------------------------------------------------------------------

void PlaceSweepWorld(int creatures) {
  devserver::PlaceRequest request;
  const std::vector<std::string> references = References(kSweepClasses);
  for (int i = 0; i < creatures; ++i) {
    request.reference = references[static_cast<size_t>(i % kSweepClasses)];
    devserver::Place(request);
  }
}

// The start-up sweep over N wild creatures in 64 classes, all with room. Every sweep marks each
// creature again, so the runs are kept short. The counters say how much memory one sweep takes
// beyond the world itself: its peak resident growth and what it leaves in engine memory.
void BM_Sweep(benchmark::State& state) {
  const int creatures = static_cast<int>(state.range(0));
  BenchServer server(kSweepClasses, true);
  const long long before_world = ResidentBytes();
  PlaceSweepWorld(creatures);
  const long long world = ResidentBytes();
  const int64_t engine_before = devserver::Memory().live_bytes;
  const bool peak_reset = ResetPeakResident();
  for (auto _ : state) InitDinoCounts();
  const long long peak = PeakResidentBytes();
  state.counters["world_MB"] = static_cast<double>(world - before_world) / 1e6;
  state.counters["peak_beyond_world_MB"] =
      peak_reset && peak >= 0 ? static_cast<double>(peak - world) / 1e6 : -1;
  state.counters["engine_growth_MB"] =
      static_cast<double>(devserver::Memory().live_bytes - engine_before) / 1e6;
  state.SetItemsProcessed(state.iterations() * creatures);
}

// What a limiter that recounts by walking the world does: the same actor query, each creature's
// class reference text turned into a key and counted in a hash map.
void BM_Recount(benchmark::State& state) {
  const int creatures = static_cast<int>(state.range(0));
  BenchServer server(kSweepClasses, false);
  PlaceSweepWorld(creatures);
  UWorld* world = devserver::World();
  for (auto _ : state) {
    std::unordered_map<std::string, uint32_t> counts;
    EngineArray<AActor*> actors;
    game::GetAllActorsOfClass(world, game::DinoStaticClass(), &actors);
    for (AActor* actor : actors) {
      ++counts[ToUtf8(game::ClassToStringReference(game::ObjectClass(actor)))];
    }
    benchmark::DoNotOptimize(counts);
  }
  state.SetItemsProcessed(state.iterations() * creatures);
}

// --- Commands
// --------------------------------------------------------------------------------------

// kvar.dumpdinos over RCON (no dump file) with K classes in the table.
void BM_Dump(benchmark::State& state) {
  const int classes = static_cast<int>(state.range(0));
  BenchServer server(classes, true);
  devserver::SpawnRequest request;
  for (const std::string& reference : References(classes)) {
    request.reference = reference;
    devserver::Spawn(request);
  }
  for (auto _ : state) devserver::RconCommand("kvar.dumpdinos");
  state.SetItemsProcessed(state.iterations() * classes);
}

// kvar.reload over RCON of a file with K limits.
void BM_Reload(benchmark::State& state) {
  const int classes = static_cast<int>(state.range(0));
  BenchServer server(classes, true);
  for (auto _ : state) devserver::RconCommand("kvar.reload");
  state.SetItemsProcessed(state.iterations() * classes);
}

// --- Allocations of one spawn
// ---------------------------------------------------------------------

struct Allocations {
  double engine = 0;
  double heap = 0;
};

struct SpawnAllocations {
  Allocations spawn;
  Allocations removal;
};

// Per accepted spawn (and per removal) of a class that is already in the table, averaged over many.
SpawnAllocations CountSpawnAllocations(int classes, bool load_plugin) {
  constexpr int kRounds = 2000;
  BenchServer server(classes, load_plugin);
  devserver::SpawnRequest request;
  request.level = 30;
  const std::vector<std::string> references = References(classes);
  SpawnOneOfEach(references, request);
  long long spawn_engine = 0, spawn_heap = 0, removal_engine = 0, removal_heap = 0;
  for (int round = 0; round < kRounds; ++round) {
    request.reference = references[static_cast<size_t>(round) % references.size()];
    const int64_t engine_before = devserver::Memory().allocations;
    long long heap_before = HeapAllocations();
    const auto ids = devserver::Spawn(request);
    spawn_heap += HeapAllocations() - heap_before;
    const int64_t engine_between = devserver::Memory().allocations;
    spawn_engine += engine_between - engine_before;
    heap_before = HeapAllocations();
    devserver::Destroy(ids.front());
    removal_heap += HeapAllocations() - heap_before;
    removal_engine += devserver::Memory().allocations - engine_between;
  }
  const double rounds = kRounds;
  return {
      {static_cast<double>(spawn_engine) / rounds, static_cast<double>(spawn_heap) / rounds},
      {static_cast<double>(removal_engine) / rounds, static_cast<double>(removal_heap) / rounds}};
}

// --- Summary
// ---------------------------------------------------------------------------------------

// Keeps the CPU time per iteration of every run (the median when runs are repeated) while the
// console reporter prints them as usual.
class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.iterations == 0) continue;
      // "BM_Sweep/1000/iterations:50" is kept as "BM_Sweep/1000".
      std::string name = run.benchmark_name();
      name = name.substr(0, name.find("/iterations:"));
      times_[name].push_back(run.cpu_accumulated_time / static_cast<double>(run.iterations));
      counters_[name] = run.counters;
    }
  }

  // Seconds per iteration; negative when the benchmark did not run (filtered out).
  double Seconds(const std::string& name) const {
    const auto found = times_.find(name);
    if (found == times_.end()) return -1;
    std::vector<double> times = found->second;
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
  }
  double Counter(const std::string& name, const std::string& counter) const {
    const auto found = counters_.find(name);
    if (found == counters_.end()) return -1;
    const auto value = found->second.find(counter);
    return value == found->second.end() ? -1 : static_cast<double>(value->second);
  }

 private:
  std::map<std::string, std::vector<double>> times_;
  std::map<std::string, benchmark::UserCounters> counters_;
};

void PrintSummary(const RecordingReporter& results) {
  const auto us = [](double seconds) { return seconds * 1e6; };
  std::printf("\nRatios (CPU time per operation)\n");
  for (const int classes : {16, 1024}) {
    const std::string k = std::to_string(classes);
    const double bare = results.Seconds("BM_Spawn/bare/" + k);
    const double accepted = results.Seconds("BM_Spawn/accepted/" + k);
    const double rejected = results.Seconds("BM_Spawn/rejected/" + k);
    const double floor = results.Seconds("BM_Floor/" + k);
    if (bare < 0 || accepted < 0 || floor < 0) continue;
    const double plugin = accepted - bare;
    std::printf("  K=%-5d accepted-bare %.3f us, rejected-bare %.3f us, floor %.3f us\n", classes,
                us(plugin), rejected < 0 ? -1 : us(rejected - bare), us(floor));
    std::printf("  K=%-5d (accepted-bare)/floor = %.1f (target: at most 20)\n", classes,
                plugin / floor);
    for (const int creatures : {1000, 100000}) {
      const double scan = results.Seconds("BM_Scan/" + std::to_string(creatures));
      if (scan < 0) continue;
      std::printf("  K=%-5d scan/(accepted-bare) at N=%d = %.0f (target at 100000: at least 100)\n",
                  classes, creatures, scan / plugin);
    }
    std::printf(
        "  K=%-5d a burst of %d accepted spawns and their removals: %.3f ms, %.2f%% of a "
        "%.1f ms tick\n",
        classes, kBurst, us(plugin) * kBurst / 1e3, 100 * plugin * kBurst / kTickSeconds,
        kTickSeconds * 1e3);
  }
  const double scan100k = results.Seconds("BM_Scan/100000");
  if (scan100k >= 0) {
    std::printf("  a burst of %d spawns counted by a 100000-actor scan: %.1f ms, %.0f ticks\n",
                kBurst, scan100k * kBurst * 1e3, scan100k * kBurst / kTickSeconds);
  }
  std::printf("\nStart-up sweep, 64 classes\n");
  for (const int creatures : {1000, 100000, 1000000}) {
    const std::string n = std::to_string(creatures);
    const double sweep = results.Seconds("BM_Sweep/" + n);
    const double recount = results.Seconds("BM_Recount/" + n);
    if (sweep < 0 || recount < 0) continue;
    std::printf(
        "  N=%-8d sweep %.3f us/creature, recount walk %.3f us/creature, ratio %.2f "
        "(target: at most 3)\n",
        creatures, us(sweep) / creatures, us(recount) / creatures, sweep / recount);
    const double peak = results.Counter("BM_Sweep/" + n, "peak_beyond_world_MB");
    if (peak >= 0) {
      std::printf(
          "  N=%-8d world %.0f MB; a sweep's peak beyond it %.1f MB, engine memory it "
          "added (tags) %.1f MB\n",
          creatures, results.Counter("BM_Sweep/" + n, "world_MB"), peak,
          results.Counter("BM_Sweep/" + n, "engine_growth_MB"));
    }
  }
  std::printf("\nCommands, per class\n");
  for (const char* command : {"BM_Dump", "BM_Reload"}) {
    const double small = results.Seconds(std::string(command) + "/100");
    const double large = results.Seconds(std::string(command) + "/10000");
    if (small < 0 || large < 0) continue;
    std::printf(
        "  %-9s %.3f us/class at 100, %.3f us/class at 10000 (linear: ratio near 1: %.2f)\n",
        command, us(small) / 100, us(large) / 10000, (large / 10000) / (small / 100));
  }
}

void PrintAllocations() {
  constexpr int kClasses = 1024;
  const SpawnAllocations bare = CountSpawnAllocations(kClasses, false);
  const SpawnAllocations with = CountSpawnAllocations(kClasses, true);
  std::printf("\nAllocations per accepted spawn of a class already in the table (K=%d)\n",
              kClasses);
  std::printf("  %-22s %8s %8s %8s %8s\n", "", "engine", "heap", "engine", "heap");
  std::printf("  %-22s %8s %8s %8s %8s\n", "", "spawn", "spawn", "removal", "removal");
  const auto row = [](const char* name, const SpawnAllocations& a) {
    std::printf("  %-22s %8.2f %8.2f %8.2f %8.2f\n", name, a.spawn.engine, a.spawn.heap,
                a.removal.engine, a.removal.heap);
  };
  row("without the plug-in", bare);
  row("with the plug-in", with);
  row("the plug-in's share",
      {{with.spawn.engine - bare.spawn.engine, with.spawn.heap - bare.spawn.heap},
       {with.removal.engine - bare.removal.engine, with.removal.heap - bare.removal.heap}});
}

void Register() {
  const std::pair<const char*, SpawnCase> spawn_cases[] = {{"bare", SpawnCase::kBare},
                                                           {"accepted", SpawnCase::kAccepted},
                                                           {"rejected", SpawnCase::kRejected}};
  for (const auto& [name, which] : spawn_cases) {
    benchmark::RegisterBenchmark((std::string("BM_Spawn/") + name).c_str(), BM_Spawn, which)
        ->Arg(16)
        ->Arg(1024);
  }
  benchmark::RegisterBenchmark("BM_Floor", BM_Floor)->Arg(16)->Arg(1024);
  benchmark::RegisterBenchmark("BM_Scan", BM_Scan)->Arg(1000)->Arg(100000);
  // A sweep marks every creature again; few rounds keep the tag arrays small.
  benchmark::RegisterBenchmark("BM_Sweep", BM_Sweep)->Arg(1000)->Iterations(50);
  benchmark::RegisterBenchmark("BM_Sweep", BM_Sweep)->Arg(100000)->Iterations(3);
  benchmark::RegisterBenchmark("BM_Sweep", BM_Sweep)->Arg(1000000)->Iterations(1);
  benchmark::RegisterBenchmark("BM_Recount", BM_Recount)->Arg(1000)->Iterations(50);
  benchmark::RegisterBenchmark("BM_Recount", BM_Recount)->Arg(100000)->Iterations(3);
  benchmark::RegisterBenchmark("BM_Recount", BM_Recount)->Arg(1000000)->Iterations(1);
  benchmark::RegisterBenchmark("BM_Dump", BM_Dump)->Arg(100)->Arg(10000);
  benchmark::RegisterBenchmark("BM_Reload", BM_Reload)->Arg(100)->Arg(10000);
}

}  // namespace

int main(int argc, char** argv) {
  Register();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  // Counting allocations walks the stand-in's whole memory book many times: only in a full run.
  bool filtered = false;
  for (int i = 1; i < argc; ++i)
    filtered = filtered || std::string(argv[i]).find("_filter") != std::string::npos;
  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintSummary(reporter);
  if (!filtered) PrintAllocations();
  benchmark::Shutdown();
  return 0;
}
