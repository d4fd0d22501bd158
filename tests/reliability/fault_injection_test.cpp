// Faults counted down: each piece of the plug-in's work runs again and again with its 1st, 2nd, ...
// engine allocation or C++ allocation failing, until a run injects nothing. Every run ends in
// success or in the expected error, nothing reaches the host, the server goes on, and the count
// table and the configuration are unchanged or what the fault-free run makes of them. The file
// faults (a file in the way of a folder, the plug-in folder missing, a full disk) follow.
//
// This program replaces the global operator new, so that the plug-in's C++ allocations (and the
// host's on its behalf) can be made to fail; the game's own never fail, as a real engine aborts.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <new>
#include <nlohmann/json.hpp>
#include <optional>

#include "admin/dump_time_stamp.h"
#include "config/config.h"
#include "plugin/plugin.h"
#include "tests/support/plugin_test.h"
#include "tests/support/world_events.h"

// The replacements below pair operator new with malloc and operator delete with free; once inlined,
// g++ would take each delete for a free of memory from new.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace {

int64_t new_countdown = 0;
bool new_failed = false;

}  // namespace

void* operator new(std::size_t bytes) {
  if (new_countdown > 0 && devserver::PluginAllocating() && --new_countdown == 0) {
    new_failed = true;
    throw std::bad_alloc();
  }
  void* block = std::malloc(bytes == 0 ? 1 : bytes);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

namespace {

enum class Fault { EngineAllocation, CppAllocation };

void Arm(Fault fault, int64_t nth) {
  if (fault == Fault::EngineAllocation) {
    devserver::FailAllocationAfter(nth);
  } else {
    new_failed = false;
    new_countdown = nth;
  }
}

// Switches the fault off; whether it happened.
bool Disarm(Fault fault) {
  if (fault == Fault::EngineAllocation) {
    const bool injected = devserver::AllocationFailureInjected();
    devserver::FailAllocationAfter(0);
    return injected;
  }
  new_countdown = 0;
  return new_failed;
}

// The table without its entries at 0: an entry that a room test made before the work stopped
// counts nothing.
CountEntries Counted() {
  CountEntries counted;
  for (const auto& entry : DinoCountEntries()) {
    if (entry.second > 0) counted.push_back(entry);
  }
  return counted;
}

struct Scenario {
  const char* name;
  bool world_ready;
  const char* config;
  std::function<void()> prepare;
  std::function<void()> act;
  // A sweep cut short has counted the creatures it reached: each count at most the full one.
  bool partial_counts_allowed = false;
  // The JSON library's destructor takes memory to take a document apart, and a failure there
  // ends the process (it is noexcept); a reload replaces the document, so its C++ allocations are
  // left out.
  bool cpp_allocations = true;
};

constexpr const char* kLimits =
    R"({"Max_Dino_Counts": {"Blueprint'/Game/Raptor.Raptor'": 2}, "WriteDumpsToFile": true})";

std::vector<Scenario> Scenarios() {
  return {
      {"a reload", true, kLimits, [] {}, [] { devserver::ConsoleCommand("kvar.reload"); }, false,
       false},
      {"a dump with the file on", true, kLimits, [] { devserver::Spawn(SpawnOf(kRaptor), 2); },
       [] { devserver::ConsoleCommand("kvar.dumpdinos"); }},
      {"the sweep", false, kLimits, [] { devserver::Place(PlaceOf(kRaptor), 3); },
       [] { devserver::InitGame(); }, true},
      {"the gate", true, kLimits, [] { devserver::Spawn(SpawnOf(kRaptor)); },
       [] { devserver::Spawn(SpawnOf(kRaptor), 2); }},
      {"a deferred removal", true, kLimits, [] { devserver::Spawn(SpawnOf(kRaptor), 3); },
       [] { devserver::Advance(5); }},
      {"a death", true, kLimits, [] { devserver::Spawn(SpawnOf(kRaptor), 2); },
       [] { devserver::Kill(1); }},
      {"a removal", true, kLimits, [] { devserver::Spawn(SpawnOf(kRaptor), 2); },
       [] { devserver::Destroy(1); }},
      {"the cheat", true, kLimits, [] { devserver::Spawn(SpawnOf(kRaptor), 2); },
       [] { devserver::CheatDestroyWildDinos(); }},
  };
}

class FaultInjectionTest : public PluginTest {
 protected:
  void Fresh(const Scenario& scenario) {
    Detach();
    ResetPluginState();
    StartServer(scenario.world_ready);
    WriteConfig(scenario.config);
    Attach();
    scenario.prepare();
    // The reload reads a configuration with another limit.
    WriteConfig(R"({"Max_Dino_Counts": {"Blueprint'/Game/Raptor.Raptor'": 5}})");
    devserver::ClearLogEntries();
  }

  // Runs the scenario with the nth fault; whether the fault happened.
  bool RunWithFault(const Scenario& scenario, Fault fault, int64_t nth,
                    const CountEntries& full_counts, const nlohmann::json& full_config) {
    Fresh(scenario);
    const CountEntries before = Counted();
    const nlohmann::json config_before = config;
    Arm(fault, nth);
    try {
      scenario.act();
    } catch (const std::bad_alloc&) {
      // The host's own engine memory for the request ran out before the plug-in was reached.
      EXPECT_EQ(fault, Fault::EngineAllocation);
    }
    const bool injected = Disarm(fault);

    EXPECT_EQ(devserver::Faults(), std::vector<std::string>{});
    for (const std::string& line : PluginLogLines()) {
      const bool expected = line.rfind("critical: Error in ", 0) == 0 ||
                            line.rfind("critical: Failed to reload config! \n ", 0) == 0 ||
                            line.rfind("warning: ", 0) == 0;
      EXPECT_TRUE(expected) << line;
    }
    const CountEntries after = Counted();
    if (scenario.partial_counts_allowed) {
      EXPECT_LE(after.size(), full_counts.size());
      for (size_t i = 0; i < after.size() && i < full_counts.size(); ++i) {
        EXPECT_EQ(after[i].first, full_counts[i].first);
        EXPECT_LE(after[i].second, full_counts[i].second);
      }
    } else {
      EXPECT_TRUE(after == before || after == full_counts)
          << ::testing::PrintToString(after) << " is neither " << ::testing::PrintToString(before)
          << " nor " << ::testing::PrintToString(full_counts);
    }
    EXPECT_TRUE(config == config_before || config == full_config) << config.dump();

    // The server goes on: the next spawn and dump work as ever.
    devserver::Spawn(SpawnOf(kDodo));
    devserver::ConsoleCommand("kvar.dumpdinos");
    EXPECT_EQ(devserver::Faults(), std::vector<std::string>{});
    return injected;
  }
};

// First in this program, while the count table's index has never been used: with Microsoft's
// library its first use takes memory, and the cheat may be what uses it first. Elsewhere nothing
// the cheat does takes memory, and there is no fault to inject.
TEST_F(FaultInjectionTest, TheCheatGoesOnWhenEmptyingTheTableFails) {
  WriteConfig(kLimits);
  Attach();
  devserver::ClearLogEntries();
  devserver::ClearEvents();
  Arm(Fault::CppAllocation, 1);
  devserver::CheatDestroyWildDinos();
  const bool injected = Disarm(Fault::CppAllocation);
  EXPECT_EQ(devserver::Faults(), std::vector<std::string>{});
  EXPECT_EQ(devserver::GameCalls(), std::vector<std::string>{"DestroyWildDinos cheat manager"});
  if (!injected) GTEST_SKIP() << "the count table's index takes no memory at its first use here";
  EXPECT_EQ(PluginLogLines(),
            std::vector<std::string>{"critical: Error in the cheat that destroys the wild "
                                     "creatures: " +
                                     std::string(std::bad_alloc().what())});
  // The next cheat empties the table as ever.
  devserver::CheatDestroyWildDinos();
  EXPECT_EQ(DinoCountEntries(), CountEntries{});
}

TEST_F(FaultInjectionTest, EveryAllocationOfEveryPieceOfWorkMayFail) {
  int64_t survived = 0;
  for (const Scenario& scenario : Scenarios()) {
    Fresh(scenario);
    scenario.act();
    const CountEntries full_counts = Counted();
    const nlohmann::json full_config = config;
    for (const Fault fault : {Fault::EngineAllocation, Fault::CppAllocation}) {
      if (fault == Fault::CppAllocation && !scenario.cpp_allocations) continue;
      int64_t nth = 1;
      for (; nth < 10000; ++nth) {
        SCOPED_TRACE(::testing::Message()
                     << scenario.name << (fault == Fault::EngineAllocation ? ", engine" : ", C++")
                     << " allocation " << nth);
        if (!RunWithFault(scenario, fault, nth, full_counts, full_config)) break;
        ++survived;
        if (HasFailure()) return;
      }
      // Every piece of work takes engine memory; some take no C++ memory at all.
      if (fault == Fault::EngineAllocation) {
        EXPECT_GT(nth, 1) << scenario.name << ": no allocation to fail";
      }
    }
  }
  std::printf("fault points injected and survived: %lld\n", static_cast<long long>(survived));
}

// A load with each of its allocations failing in turn, both ways the world may be at load: a
// failed read of the configuration is named as such; any other failure of the load takes back what
// was registered; a load that goes through has every detour and command, its sweep perhaps cut
// short.
TEST_F(FaultInjectionTest, ALoadThatFailsLeavesNothingRegistered) {
  const std::vector<std::string> failures = {
      "critical: Failed to set up the log! \n ", "critical: Failed to load config! \n ",
      "critical: Failed to register with the host! What was registered is taken back. \n "};
  int64_t undone = 0;
  for (const bool world_ready : {false, true}) {
    for (const Fault fault : {Fault::EngineAllocation, Fault::CppAllocation}) {
      for (int64_t nth = 1; nth < 10000; ++nth) {
        SCOPED_TRACE(::testing::Message()
                     << (world_ready ? "running world" : "starting world")
                     << (fault == Fault::EngineAllocation ? ", engine" : ", C++") << " allocation "
                     << nth);
        Detach();
        ResetPluginState();
        StartServer(world_ready);
        WriteConfig(kLimits);
        devserver::Place(PlaceOf(kRaptor), 3);
        devserver::ClearLogEntries();
        Arm(fault, nth);
        devserver::CallAsPlugin("the plug-in's load", [this] { Attach(); });
        if (!Disarm(fault)) break;
        EXPECT_EQ(devserver::Faults(), std::vector<std::string>{});
        // Without a logger nothing can be said, and nothing was registered either.
        bool failed = PluginLogger == nullptr;
        for (const std::string& line : PluginLogLines()) {
          const bool load_failure =
              std::any_of(failures.begin(), failures.end(),
                          [&](const std::string& failure) { return line.rfind(failure, 0) == 0; });
          failed = failed || load_failure;
          EXPECT_TRUE(load_failure || line.rfind("critical: Error in the start-up sweep: ", 0) == 0)
              << line;
        }
        undone += failed ? 1 : 0;
        const size_t hooks = failed ? 0 : world_ready ? 5 : 4;
        EXPECT_EQ(devserver::InstalledHooks().size(), hooks);
        devserver::ClearEvents();
        for (const char* command : {"kvar.dumpdinos", "kvar.reload"}) {
          devserver::ConsoleCommand(command);
          devserver::RconRequest(command, 1);
        }
        const std::vector<std::string> events = devserver::Events();
        const auto unknown = std::count_if(events.begin(), events.end(), [](const auto& event) {
          return event.find(" unknown kvar.") != std::string::npos;
        });
        EXPECT_EQ(unknown, failed ? 4 : 0);
        if (HasFailure()) return;
      }
    }
  }
  EXPECT_GT(undone, 0);
}

// The plug-in's files when the file system is against it. Each case ends in the expected error or
// in silence (a dump file that cannot be written loses only the file: the census is in the log),
// and the dump and the reload go on working once the obstacle is gone.
TEST_F(FaultInjectionTest, FileSystemFaultsEndOnlyTheWorkAtHand) {
  struct FileCase {
    const char* name;
    std::function<void(const std::filesystem::path& plugin_dir)> obstruct;
    std::vector<std::string> logged;
  };
  // The text of a file system error is the standard library's own; it names the folder.
  const std::string folder_error = "critical: Error in kvar.dumpdinos: ";
  std::vector<FileCase> cases = {
      {"a file in the way of the dump folder",
       [](const std::filesystem::path& dir) { std::ofstream(dir / "DinoDumpLogs") << "x"; },
       {"warning: Blueprint'/Game/Raptor.Raptor'. Num: 1", folder_error}},
      {"the plug-in folder missing",
       [](const std::filesystem::path& dir) { std::filesystem::remove_all(dir); },
       {"warning: Blueprint'/Game/Raptor.Raptor'. Num: 1", folder_error,
        "critical: Failed to reload config! \n Can't open config.json"}},
  };
#if !defined(_WIN32)
  // A full disk: every dump file name of the next seconds leads to /dev/full. Windows has no such
  // device (its NUL device takes every write), so this case runs natively only.
  cases.push_back({"a full disk",
                   [](const std::filesystem::path& dir) {
                     const auto logs = dir / "DinoDumpLogs";
                     std::filesystem::create_directory(logs);
                     const std::time_t now = std::time(nullptr);
                     for (std::time_t t = now - 1; t <= now + 5; ++t) {
                       std::filesystem::create_symlink(
                           "/dev/full", logs / ("DinoDumpLog_" + DumpTimeStamp(t) + ".txt"));
                     }
                   },
                   {"warning: Blueprint'/Game/Raptor.Raptor'. Num: 1"}});
#endif
  for (const FileCase& c : cases) {
    SCOPED_TRACE(c.name);
    Detach();
    ResetPluginState();
    StartServer(true);
    std::filesystem::remove_all(PluginDir());
    std::filesystem::create_directories(PluginDir());
    WriteConfig(R"({"WriteDumpsToFile": true})");
    Attach();
    devserver::Spawn(SpawnOf(kRaptor));
    const nlohmann::json config_before = config;
    c.obstruct(PluginDir());
    devserver::ClearLogEntries();
    devserver::ConsoleCommand("kvar.dumpdinos");
    devserver::ConsoleCommand("kvar.reload");
    std::vector<std::string> log = PluginLogLines();
    for (std::string& line : log) {
      if (line.rfind(folder_error, 0) == 0 && line.find("DinoDumpLogs") != std::string::npos) {
        line = folder_error;
      }
    }
    EXPECT_EQ(log, c.logged);
    EXPECT_EQ(config, config_before);
    EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, 1}}));
    EXPECT_EQ(devserver::Faults(), std::vector<std::string>{});
  }
}

}  // namespace
