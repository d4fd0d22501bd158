// What the plug-in owes the game in every detour: the game's own function runs with exactly the
// arguments the game passed, its result comes back unchanged, a null creature is passed on, and an
// error in the plug-in's own work ends that work only.

#include <functional>
#include <new>
#include <string>

#include "tests/support/plugin_test.h"
#include "tests/support/world_events.h"

namespace {

constexpr const char* kSpawnArguments =
    "at 1.5,-2.25,3.125 true 7 0.5 true 1.25 2.5 3.75 5 colours /Script/Game.PrimalColorSet";
constexpr const char* kDieArguments =
    "damage 1000 damage event killer player controller causer spawn zone";

std::string SpawnCall(std::string_view reference) {
  return fmt::format("SpawnNPC spawn zone class {} {}", reference, kSpawnArguments);
}

std::string DieCall(std::string_view creature) {
  return fmt::format("Die {} {}", creature, kDieArguments);
}

// What a failed allocation says of itself: each standard library words it its own way.
std::string BadAllocText() { return std::bad_alloc().what(); }

class GameContractTest : public PluginTest {
 protected:
  void LoadActive(std::string_view config_text) {
    WriteConfig(config_text);
    StartServer(true);
    Attach();
    TakeEvents();
  }

  std::vector<std::string> TakeGameCalls() {
    std::vector<std::string> calls = devserver::GameCalls();
    devserver::ClearEvents();
    return calls;
  }
};

TEST_F(GameContractTest, EveryDetourHandsTheGameItsArgumentsUnchanged) {
  WriteConfig(R"({"Max_Dino_Counts": {"Blueprint'/Game/Dodo.Dodo'": 0}})");
  Attach();
  TakeEvents();
  devserver::InitGame();
  EXPECT_EQ(TakeGameCalls(), std::vector<std::string>{
                                 "InitGame game mode map 'DevWorld' options '?listen' error ''"});

  // Accepted and rejected spawns alike; the level is read for the accepted one only.
  const auto raptor = devserver::Spawn(SpawnOf(kRaptor)).at(0);
  const auto dodo = devserver::Spawn(SpawnOf(kDodo)).at(0);
  EXPECT_EQ(TakeGameCalls(), (std::vector<std::string>{SpawnCall(kRaptor),
                                                       fmt::format("GetCharacterLevel #{}", raptor),
                                                       SpawnCall(kDodo)}));

  ASSERT_TRUE(devserver::Kill(raptor));
  ASSERT_TRUE(devserver::Destroy(raptor));
  devserver::CheatDestroyWildDinos();
  EXPECT_EQ(TakeGameCalls(),
            (std::vector<std::string>{
                DieCall("#" + std::to_string(raptor)), fmt::format("Destroyed #{}", raptor),
                "DestroyWildDinos cheat manager", fmt::format("Destroyed #{}", dodo)}));
}

TEST_F(GameContractTest, NullCreaturesStillReachTheGame) {
  LoadActive("{}");
  devserver::Spawn(SpawnOf(kRaptor));
  TakeEvents();
  EXPECT_FALSE(devserver::DieWithoutCreature());
  devserver::DestroyedWithoutCreature();
  EXPECT_EQ(TakeGameCalls(), (std::vector<std::string>{DieCall("null"), "Destroyed null"}));
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, 1}}));
}

TEST_F(GameContractTest, CreatureThatRefusesToDieIsNotCountedDownAndFalseComesBack) {
  LoadActive("{}");
  const auto id = devserver::Spawn(SpawnOf(kRaptor)).at(0);
  ASSERT_TRUE(devserver::RefuseDeath(id));
  TakeEvents();
  EXPECT_FALSE(devserver::Kill(id));
  EXPECT_EQ(TakeEvents(), Events{"survived #" + std::to_string(id)});
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, 1}}));
  EXPECT_EQ(devserver::FindCreature(id)->tags, std::vector<std::string>{kCountedTag});

  // When it does die at last, it is counted down once.
  ASSERT_TRUE(devserver::RefuseDeath(id, false));
  EXPECT_TRUE(devserver::Kill(id));
  EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, 0}}));
}

TEST_F(GameContractTest, LevelIsReadOnlyForACreatureThatHasRoom) {
  LoadActive(R"({"Max_Dino_Counts": {"Blueprint'/Game/Raptor.Raptor'": 1},
                 "DestroyDinosOverLevel": true, "MaxDinoLevel": 150})");
  const auto ids = devserver::Spawn(SpawnOf(kRaptor, 10), 2);
  EXPECT_EQ(TakeGameCalls(), (std::vector<std::string>{SpawnCall(kRaptor),
                                                       fmt::format("GetCharacterLevel #{}", ids[0]),
                                                       SpawnCall(kRaptor)}));
}

// An engine allocation that fails inside each piece of the plug-in's work: the work stops and says
// so in the log, the game's own function has run, and nothing reaches the host.
struct ContainmentCase {
  const char* name;
  bool world_ready;
  // Allocations that succeed before the failing one, counted from `act`.
  int64_t allocations_before;
  std::function<void(const std::vector<devserver::CreatureId>& counted)> act;
  // The log line up to the error's text, which is the standard library's own for std::bad_alloc.
  const char* logged;
  std::function<void(const std::vector<devserver::CreatureId>& counted)> check;
};

TEST_F(GameContractTest, AnErrorInThePlugInsWorkEndsThatWorkOnly) {
  using Ids = std::vector<devserver::CreatureId>;
  const ContainmentCase cases[] = {
      {"the spawn gate", true, 0, [](const Ids&) { devserver::Spawn(SpawnOf(kDodo)); },
       "critical: Error in the spawn gate: ",
       [](const Ids&) {
         EXPECT_EQ(devserver::Census()[kDodoKey], 1);
         EXPECT_EQ(DinoCountEntries(), (CountEntries{{kRaptorKey, 2}}));
       }},
      {"the death", true, 0, [](const Ids& ids) { EXPECT_TRUE(devserver::Kill(ids[0])); },
       "critical: Error in the death of a creature: ",
       [](const Ids& ids) {
         EXPECT_EQ(devserver::FindCreature(ids[0])->state, devserver::CreatureState::Dead);
       }},
      {"the removal", true, 0, [](const Ids& ids) { EXPECT_TRUE(devserver::Destroy(ids[0])); },
       "critical: Error in the removal of a creature: ",
       [](const Ids& ids) {
         EXPECT_EQ(devserver::FindCreature(ids[0])->state, devserver::CreatureState::Removed);
       }},
      {"the sweep at the game mode's initialisation", false, 0,
       [](const Ids&) { devserver::InitGame(); }, "critical: Error in the start-up sweep: ",
       [](const Ids&) {
         EXPECT_EQ(devserver::InstalledHooks().size(), 5u) << "the gate opens all the same";
       }},
      {"the deferred removal", true, 0, [](const Ids&) { devserver::Advance(5); },
       "critical: Error in a deferred removal: ",
       [](const Ids&) { EXPECT_EQ(devserver::PendingTimerTasks(), 0u); }},
  };
  for (const ContainmentCase& c : cases) {
    SCOPED_TRACE(c.name);
    Detach();
    ResetPluginState();
    WriteConfig(R"({"Max_Dino_Counts": {"Blueprint'/Game/Raptor.Raptor'": 2,
                                        "Blueprint'/Game/Dodo.Dodo'": 1}})");
    StartServer(c.world_ready);
    Attach();
    const Ids counted = c.world_ready ? devserver::Spawn(SpawnOf(kRaptor), 2)
                                      : devserver::Place(PlaceOf(kRaptor), 2);
    // A rejected spawn waits for its removal.
    if (c.world_ready) devserver::Spawn(SpawnOf(kRaptor));
    devserver::ClearLogEntries();
    devserver::FailAllocationAfter(c.allocations_before + 1);
    c.act(counted);
    EXPECT_TRUE(devserver::AllocationFailureInjected());
    devserver::FailAllocationAfter(0);
    EXPECT_EQ(PluginLogLines(), std::vector<std::string>{c.logged + BadAllocText()});
    EXPECT_EQ(devserver::Faults(), std::vector<std::string>{});
    c.check(counted);
  }
}

// Loaded into a running world, the sweep runs inside the load, after the registrations have taken
// their engine memory: the first failure that reaches the sweep ends the sweep only.
TEST_F(GameContractTest, AnErrorInTheSweepAtLoadLeavesTheLoadComplete) {
  const std::vector<std::string> sweep_error = {"critical: Error in the start-up sweep: " +
                                                BadAllocText()};
  bool reached = false;
  for (int64_t nth = 1; nth < 40 && !reached; ++nth) {
    Detach();
    ResetPluginState();
    WriteConfig("{}");
    StartServer(true);
    devserver::Place(PlaceOf(kRaptor), 2);
    devserver::FailAllocationAfter(nth);
    Attach();
    devserver::FailAllocationAfter(0);
    reached = PluginLogLines() == sweep_error;
  }
  ASSERT_TRUE(reached);
  EXPECT_EQ(devserver::InstalledHooks().size(), 5u);
  EXPECT_EQ(devserver::Faults(), std::vector<std::string>{});
}

// Whatever registration fails, the load is undone whole: no detour and no command of the plug-in
// stays with the host, and the log names the failure as what it is. Both ways the world may be at
// load, with every engine allocation of the load failing in turn.
TEST_F(GameContractTest, AFailureWhileRegisteringLeavesNothingRegistered) {
  const std::string registration_error =
      "critical: Failed to register with the host! What was registered is taken back. \n " +
      BadAllocText();
  for (const bool world_ready : {false, true}) {
    SCOPED_TRACE(world_ready ? "into a running world" : "while the world starts");
    int64_t undone = 0;
    int64_t nth = 1;
    for (;; ++nth) {
      SCOPED_TRACE(::testing::Message() << "engine allocation " << nth);
      Detach();
      ResetPluginState();
      WriteConfig("{}");
      StartServer(world_ready);
      devserver::Place(PlaceOf(kRaptor));
      devserver::ClearLogEntries();
      devserver::FailAllocationAfter(nth);
      Attach();
      const bool injected = devserver::AllocationFailureInjected();
      devserver::FailAllocationAfter(0);
      if (!injected) break;
      EXPECT_EQ(devserver::Faults(), std::vector<std::string>{});
      const std::vector<std::string> logged = PluginLogLines();
      if (logged != std::vector<std::string>{registration_error}) {
        // Past the registrations only the sweep takes engine memory, and it ends alone.
        EXPECT_EQ(logged, std::vector<std::string>{"critical: Error in the start-up sweep: " +
                                                   BadAllocText()});
        EXPECT_EQ(devserver::InstalledHooks().size(), 5u);
        continue;
      }
      ++undone;
      EXPECT_EQ(devserver::InstalledHooks(), std::vector<std::string>{});
      TakeEvents();
      devserver::ConsoleCommand("kvar.dumpdinos");
      devserver::ConsoleCommand("kvar.reload");
      for (const char* command : {"kvar.dumpdinos", "kvar.reload"}) {
        const std::vector<devserver::RconReply> replies = devserver::RconRequest(command, 1);
        ASSERT_EQ(replies.size(), 1u);
        EXPECT_EQ(replies[0].text, std::string("Unknown command: ") + command);
      }
      EXPECT_EQ(TakeEvents(),
                (Events{"console unknown kvar.dumpdinos", "console unknown kvar.reload",
                        "rcon unknown kvar.dumpdinos", "rcon unknown kvar.reload"}));
    }
    // Each command's name is engine memory: every one of the four registrations can fail.
    EXPECT_GE(undone, 4);
  }
}

}  // namespace
