// `kestrovar watch`: the cost of one census (stored, added to the history, DIR's report brought up
// to date) after 100 and after 50 000 stored censuses of 20 classes. The target: at most 1.5 times
// more after 50 000 than after 100.
//   build/native/bin/kestrovar_watch_bench
// Without a configuration no class has a limit and no chart is drawn: gnuplot's own time stays out.
// The first census of a watch, which writes the report's files whole, is taken before the timing.

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <ctime>
#include <filesystem>
#include <string>

#include "tools/watch/census_file.h"
#include "tools/watch/watch_report.h"

namespace fs = std::filesystem;

namespace {

constexpr int kClasses = 20;
constexpr std::time_t kStart = 1796737353;
constexpr int kEvery = 600;

std::string Census(int number) {
  std::string text;
  for (int i = 0; i < kClasses; ++i) {
    text += fmt::format(
        "Blueprint'/Game/Creatures/Kind{0:02}/Kind{0:02}_Character.Kind{0:02}_Character'. Num: "
        "{1}\n",
        i, (number * 7 + i * 13) % 61);
  }
  return text;
}

void WatchCensus(benchmark::State& state) {
  const auto stored = static_cast<int>(state.range(0));
  const fs::path dir = fs::temp_directory_path() / fmt::format("kestrovar-watch-bench-{}", stored);
  fs::remove_all(dir);
  fs::create_directories(dir);
  // The censuses stored before are in the history (as WatchHistory read them at the start); their
  // files need not be on disk for what a census costs.
  WatchHistory history(dir);
  for (int i = 0; i < stored; ++i) {
    history.Add(DumpFileName(kStart + std::time_t{i} * kEvery), Census(i));
  }
  int next = stored;
  const auto census = [&] {
    const std::time_t when = kStart + std::time_t{next} * kEvery;
    const std::string text = Census(next++);
    int later = 0;
    const auto name = StoreCensus(dir, when, text, later);
    if (name) history.Add(*name, text);
    UpdateWatchReport(dir, "", history);
  };
  // A watch's first census writes the report's files whole; each one after adds to them.
  census();
  for (auto _ : state) census();
  state.counters["stored"] = static_cast<double>(stored);
  fs::remove_all(dir);
}

BENCHMARK(WatchCensus)->Arg(100)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
