// `kestrovar report` on a year of ten-minute censuses of 300 classes: 52 560 dump files as the
// plug-in names and writes them, made once in a temporary folder. It must take at most 10 seconds
// and 500 MB; the peak memory of the report alone is counted (the files are made beforehand).
//   build/native/bin/kestrovar_report_bench
// KESTROVAR_REPORT_BENCH_DIR=DIR keeps the files in DIR (made when missing) for runs by hand.

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <streambuf>
#include <string>

#include "bench/process_usage.h"
#include "tools/report/report_command.h"

namespace fs = std::filesystem;

namespace {

constexpr int kCensuses = 365 * 24 * 6;
constexpr int kClasses = 300;
constexpr int kLimited = 100;

std::string Key(int index) {
  return fmt::format(
      "Blueprint'/Game/Creatures/Kind{0:03}/Kind{0:03}_Character.Kind{0:03}_Character'", index);
}

// The folder of dumps and a configuration that limits a third of the classes. Counts wander
// between 0 and 60, so that some limits are met and some are not.
fs::path MakeDumps() {
  const char* kept = std::getenv("KESTROVAR_REPORT_BENCH_DIR");
  const fs::path dir =
      kept != nullptr ? fs::path(kept) : fs::temp_directory_path() / "kestrovar-report-bench";
  if (fs::exists(dir / "done")) return dir;
  fs::remove_all(dir);
  fs::create_directories(dir / "DinoDumpLogs");
  std::string config = "{\n  \"Max_Dino_Counts\": {\n";
  for (int i = 0; i < kLimited; ++i) {
    config +=
        fmt::format("    \"{}\": {}{}\n", Key(i * 3), 20 + i % 30, i + 1 < kLimited ? "," : "");
  }
  config += "  },\n  \"WriteDumpsToFile\": true\n}\n";
  std::ofstream(dir / "config.json") << config;
  std::vector<std::string> keys;
  for (int i = 0; i < kClasses; ++i) keys.push_back(Key(i));
  uint32_t state = 12345;
  std::string text;
  for (int census = 0; census < kCensuses; ++census) {
    const int64_t minutes = int64_t{census} * 10;
    const int day = static_cast<int>(minutes / (24 * 60));
    // 2025 from 1 January: a day of the year as its date.
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int month = 0;
    int day_of_month = day;
    while (day_of_month >= kDays[month]) day_of_month -= kDays[month++];
    const std::string name =
        fmt::format("DinoDumpLog_{:02}-{:02}-2025_{:02}-{:02}-00.txt", day_of_month + 1, month + 1,
                    minutes / 60 % 24, minutes % 60);
    text.clear();
    for (int i = 0; i < kClasses; ++i) {
      state = state * 1664525 + 1013904223;
      text += keys[static_cast<std::size_t>(i)];
      text += fmt::format(". Num: {}\n", (state >> 16) % 61);
    }
    std::ofstream(dir / "DinoDumpLogs" / name, std::ios::binary) << text;
  }
  std::ofstream(dir / "done") << "made\n";
  return dir;
}

// The report's text goes nowhere: the reading is what is measured.
class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return c; }
  std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
};

void BM_ReportYearOfDumps(benchmark::State& state) {
  const fs::path dir = MakeDumps();
  ReportOptions options;
  options.inputs = {(dir / "DinoDumpLogs").string()};
  options.config = (dir / "config.json").string();
  NullBuffer buffer;
  std::ostream out(&buffer);
  // The peak counts from here (Linux: 5 to clear_refs).
  std::ofstream("/proc/self/clear_refs") << "5";
  for (auto _ : state) {
    const int status = RunReport(options, out);
    if (status != 0) state.SkipWithError(("report exited " + std::to_string(status)).c_str());
  }
  state.counters["files"] = kCensuses;
  state.counters["peak_MB"] = PeakResidentMb();
  if (std::getenv("KESTROVAR_REPORT_BENCH_DIR") == nullptr) fs::remove_all(dir);
}
BENCHMARK(BM_ReportYearOfDumps)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
