// The soak: a deterministic stream of world events (ten million at full size) through the real
// plug-in library, in rounds of one server each. Throughout: the count table and every creature
// are what the reference model says, no fault reaches the stand-in, each class's limit holds once
// pending removals have run, and the engine memory the plug-in holds stays within its table.
// Size: KESTROVAR_SOAK_EVENTS (default: a CI-sized run of seconds).

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "devserver/control/server.h"
#include "fuzz/world_run.h"

namespace {

constexpr uint64_t kDefaultEvents = 10000;
constexpr uint64_t kRoundEvents = 5000;
// The table is read back every few events; every creature is compared now and then.
constexpr uint64_t kCheckEvery = 50;
constexpr uint64_t kCreatureCheckEvery = 1000;

uint64_t EventsWanted() {
  const char* text = std::getenv("KESTROVAR_SOAK_EVENTS");
  if (text == nullptr || *text == '\0') return kDefaultEvents;
  return std::strtoull(text, nullptr, 10);
}

// The operation codes of world_ops::WorldRun::Step, drawn with the weights a busy server has:
// mostly spawns, deaths and time passing, now and then a reload, seldom an unload.
uint8_t DrawOperation(std::mt19937_64& random) {
  struct Weighted {
    uint8_t op;
    int weight;
  };
  static constexpr Weighted kMix[] = {
      {0, 400}, {2, 40}, {3, 180},  {4, 40}, {5, 30}, {6, 5},   {7, 3},
      {8, 10},  {9, 20}, {10, 200}, {11, 3}, {12, 4}, {13, 65},
  };
  int pick = static_cast<int>(random() % 1000);
  for (const Weighted& entry : kMix) {
    if (pick < entry.weight) return entry.op;
    pick -= entry.weight;
  }
  return 13;
}

TEST(WorldSoakTest, TableCreaturesLimitsAndMemoryHoldThroughout) {
  const uint64_t wanted = EventsWanted();
  // A folder of its own, so that soaks run side by side do not share their files.
  const auto server_dir = std::filesystem::temp_directory_path() /
                          ("kestrovar-world-soak-" + std::to_string(std::random_device()()));
  const std::string plugin = world_ops::PluginBesideProgram(KESTROVAR_PLUGIN_FILE);
  const std::string dodo = world_model::ClassKey(2);
  std::mt19937_64 random(11);
  uint64_t events = 0;
  uint64_t rounds = 0;
  int64_t most_held = 0;
  const auto start = std::chrono::steady_clock::now();
  while (events < wanted) {
    ++rounds;
    world_ops::WorldRun run(server_dir, plugin);
    const uint64_t round_end = std::min(wanted, events + kRoundEvents);
    for (; events < round_end; ++events) {
      const uint8_t op = DrawOperation(random);
      const uint64_t bytes = random();
      std::string problem =
          run.Step(op, static_cast<uint8_t>(bytes), static_cast<uint8_t>(bytes >> 8));
      const bool last = events + 1 == round_end;
      if (problem.empty() && (events % kCheckEvery == 0 || last)) {
        problem = run.Check(events % kCreatureCheckEvery == 0 || last);
      }
      ASSERT_EQ(problem, "") << "event " << events << " of round " << rounds;
      if (events % kCheckEvery != 0 && !last) continue;

      const world_model::Model& model = run.Model();
      const int64_t held = devserver::Memory().unowned_blocks;
      most_held = std::max(most_held, held);
      // One engine block per key of the table, and nothing else between calls.
      ASSERT_LE(held, static_cast<int64_t>(model.CountTable().size())) << "event " << events;
      if (model.LimitsSteadySinceSweep() && model.PendingRemovals() == 0) {
        const int64_t limit = model.LimitOf(dodo);
        const auto entry = model.CountTable().find(dodo);
        if (limit >= 0 && entry != model.CountTable().end()) {
          ASSERT_LE(entry->second, static_cast<uint64_t>(limit)) << "event " << events;
        }
      }
    }
  }
  EXPECT_EQ(devserver::Faults(), std::vector<std::string>{});
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf(
      "soaked %llu events in %llu rounds, %.1f s; most engine blocks held by the plug-in: "
      "%lld\n",
      static_cast<unsigned long long>(events), static_cast<unsigned long long>(rounds), seconds,
      static_cast<long long>(most_held));
  std::error_code ignored;
  std::filesystem::remove_all(server_dir, ignored);
}

}  // namespace
