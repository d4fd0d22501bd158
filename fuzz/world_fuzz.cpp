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
#include <memory>
#include <random>
#include <string>
#include <system_error>

#include "fuzz/world_run.h"

namespace {

// One server and one load of the library for the whole process: each input starts on a new map
// with the limits reloaded, which is what a fresh server would show, at a fraction of the cost.
class Session {
 public:
  Session()
      // A folder of its own, so that fuzzing jobs run side by side do not share their files.
      : server_dir_(std::filesystem::temp_directory_path() /
                    ("kestrovar-world-fuzz-" + std::to_string(std::random_device()()))),
        run_(std::make_unique<world_ops::WorldRun>(
            server_dir_, world_ops::PluginBesideProgram(KESTROVAR_PLUGIN_FILE))) {}
  ~Session() {
    run_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(server_dir_, ignored);
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  world_ops::WorldRun& Run() { return *run_; }

 private:
  std::filesystem::path server_dir_;
  std::unique_ptr<world_ops::WorldRun> run_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Session session;
  world_ops::WorldRun& run = session.Run();
  std::string problem = run.Restart();
  if (problem.empty()) problem = run.Check();
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
