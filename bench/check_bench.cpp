// `kestrovar check --classes` on a large server: as many limits as listed classes (1 000 and
// 20 000), a half of them on listed classes, a quarter misspelt, a quarter on classes not listed.
// The time must grow about linearly with the count: 20 000 against 20 000 well under 2 s.

#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "tools/check/config_check.h"

namespace {

std::string CreatureName(std::mt19937& random) {
  std::string name(1, static_cast<char>('A' + random() % 26));
  for (std::size_t length = 4 + random() % 9; name.size() < length;) {
    name += static_cast<char>('a' + random() % 26);
  }
  return name;
}

std::string KeyOf(const std::string& name) {
  return "Blueprint'/Game/Creatures/" + name + "/" + name + "_Character_BP." + name +
         "_Character_BP'";
}

void BM_CheckAgainstClasses(benchmark::State& state) {
  const auto count = static_cast<std::size_t>(state.range(0));
  std::mt19937 random(5);
  std::vector<std::string> classes;
  std::string config = "{\"Max_Dino_Counts\": {\n";
  for (std::size_t i = 0; i < count; ++i) {
    const std::string name = CreatureName(random);
    classes.push_back(KeyOf(name));
    std::string limited = name;
    if (i % 4 == 2) limited[1 + random() % (name.size() - 1)] = 'z';
    if (i % 4 == 3) limited = CreatureName(random);
    config += (i == 0 ? "  \"" : ",\n  \"") + KeyOf(limited) + "\": " + std::to_string(i % 40);
  }
  config += "}}\n";
  std::size_t findings = 0;
  for (auto _ : state) {
    findings = CheckConfigText(config, "config.json", classes, ClassListKind::kMetSoFar).size();
    benchmark::DoNotOptimize(findings);
  }
  state.counters["findings"] = static_cast<double>(findings);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * count));
}

BENCHMARK(BM_CheckAgainstClasses)->Arg(1000)->Arg(20000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
