// The spawn gate's cost in instructions, which the neighbours' load on a shared machine does not
// change as it changes times. Run under callgrind by scripts/gate-instructions.sh: each phase below
// zeroes callgrind's counters, does ROUNDS operations and dumps the counters under its name, so
// that the script divides each dump's total by ROUNDS. Outside valgrind the program only runs.
//   spawn-bare, removal-bare          a spawn through the zone, and a creature's removal, without
//                                     the plug-in
//   spawn-accepted, removal-accepted  the same with the plug-in, each class limited far above its
//                                     count (every spawn has room)
//   spawn-rejected, removal-rejected  every class at its limit of 1: each spawn is let in and
//                                     removed by the plug-in 5 s later, on the clock's advance
//   floor-spawn, floor-removal        the least a per-class cap must do: a lookup of the class key
//                                     and an increment, then a lookup and a decrement

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "config/config.h"
#include "devserver/control/server.h"
#include "plugin/entry_point.h"
#include "spawn_control/dino_counts.h"

#if defined(__has_include)
#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#define KV_PHASE_START() CALLGRIND_ZERO_STATS
#define KV_PHASE_END(name) CALLGRIND_DUMP_STATS_AT(name)
#endif
#endif
#if !defined(KV_PHASE_START)
#define KV_PHASE_START()
#define KV_PHASE_END(name) (void)(name)
#endif

namespace {

constexpr int kClasses = 1024;

std::string Reference(int index) {
  return "/Game/Creatures/Kind" + std::to_string(index) + "/Kind" + std::to_string(index) +
         "_Character.Kind" + std::to_string(index) + "_Character_C";
}

// A running world whose configuration limits every class to `limit`, with the level rule on as in
// kestrovar_bench, and the plug-in loaded into it when `plugin`; one creature of each class in it.
class Server {
 public:
  Server(bool plugin, long long limit) : plugin_(plugin) {
    dir_ = std::filesystem::temp_directory_path() /
           ("kestrovar-gate-instructions-" + std::to_string(std::rand()));
    const auto plugin_dir = dir_ / "ArkApi" / "Plugins" / "Kestrovar";
    std::filesystem::create_directories(plugin_dir);
    std::ofstream file(plugin_dir / "config.json");
    file << "{\"Max_Dino_Counts\":{";
    for (int i = 0; i < kClasses; ++i) {
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
    if (plugin_) OnLibraryAttach();
    for (int i = 0; i < kClasses; ++i) devserver::Spawn(Request(i));
  }
  ~Server() {
    if (plugin_) OnLibraryDetach();
    ClearDinoCounts();
    ReplaceConfig(nullptr);
    devserver::StopServer();
    std::filesystem::remove_all(dir_);
  }
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  static devserver::SpawnRequest Request(int round) {
    devserver::SpawnRequest request;
    request.level = 30;
    request.reference = Reference(round % kClasses);
    return request;
  }

 private:
  std::filesystem::path dir_;
  bool plugin_;
};

// ROUNDS spawns, then the removal of each spawned creature (or, when the plug-in rejects them, the
// clock's advance past its deferred removals).
void SpawnsAndRemovals(const char* which, bool plugin, long long limit, int rounds) {
  Server server(plugin, limit);
  const bool rejected = limit == 1;
  std::vector<devserver::CreatureId> spawned;
  spawned.reserve(static_cast<std::size_t>(rounds));
  std::vector<devserver::SpawnRequest> requests;
  for (int i = 0; i < rounds; ++i) requests.push_back(Server::Request(i));
  // Named, not temporary: the request reads the name after its statement.
  const std::string spawn = std::string("spawn-") + which;
  const std::string removal = std::string("removal-") + which;
  KV_PHASE_START();
  for (const devserver::SpawnRequest& request : requests) {
    spawned.push_back(devserver::Spawn(request).front());
  }
  KV_PHASE_END(spawn.c_str());
  KV_PHASE_START();
  if (rejected) {
    devserver::Advance(5);
  } else {
    for (const devserver::CreatureId id : spawned) devserver::Destroy(id);
  }
  KV_PHASE_END(removal.c_str());
}

void Floor(int rounds) {
  std::vector<std::string> keys;
  std::unordered_map<std::string, uint32_t> counts;
  for (int i = 0; i < kClasses; ++i) {
    keys.push_back(devserver::ClassKeyOf(Reference(i)));
    counts[keys.back()] = 1;
  }
  volatile uint32_t sink = 0;
  KV_PHASE_START();
  for (int i = 0; i < rounds; ++i)
    sink = sink + ++counts[keys[static_cast<std::size_t>(i % kClasses)]];
  KV_PHASE_END("floor-spawn");
  KV_PHASE_START();
  for (int i = 0; i < rounds; ++i)
    sink = sink + --counts[keys[static_cast<std::size_t>(i % kClasses)]];
  KV_PHASE_END("floor-removal");
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 4096;
  if (rounds < 1) {
    std::fprintf(stderr, "usage: kestrovar_gate_instructions [ROUNDS]\n");
    return 64;
  }
  SpawnsAndRemovals("bare", false, 1000000000, rounds);
  SpawnsAndRemovals("accepted", true, 1000000000, rounds);
  SpawnsAndRemovals("rejected", true, 1, rounds);
  Floor(rounds);
  std::printf("%d rounds a phase, %d classes\n", rounds, kClasses);
  return 0;
}
