// Fuzz target for the world's operations: the bytes decode into a sequence of spawns, placements,
// deaths, removals, tamings, the cheat, re-initialisations, reloads of good, broken and mistyped
// configurations, dumps, clock advances and unloads and loads of the real plug-in library. After
// every step the count table, every creature and the stand-in's fault list must be what the
// reference model says.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "fuzz/world_run.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A folder of its own, so that fuzzing jobs run side by side do not share their files.
  static const std::filesystem::path server_dir =
      std::filesystem::temp_directory_path() /
      ("kestrovar-world-fuzz-" + std::to_string(std::random_device()()));
  static const std::string plugin = world_ops::PluginBesideProgram(KESTROVAR_PLUGIN_FILE);
  world_ops::WorldRun run(server_dir, plugin);
  std::string problem = run.Check();
  for (size_t i = 0; problem.empty() && i + world_ops::kOperationBytes <= size;
       i += world_ops::kOperationBytes) {
    problem = run.Step(data[i], data[i + 1], data[i + 2]);
    if (problem.empty()) problem = run.Check();
  }
  if (!problem.empty()) {
    std::fprintf(stderr, "world fuzz: after step %llu: %s\n",
                 static_cast<unsigned long long>(run.Steps()), problem.c_str());
    std::abort();
  }
  return 0;
}
