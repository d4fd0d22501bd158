// Detour chains on the host's hook table, as the game calls through them.

#include <algorithm>
#include <array>
#include <string>

#include "host/api.h"
#include "host/game_functions.h"
#include "tests/devserver/devserver_test.h"

namespace {

std::string trace;

game_signatures::Die* original_a = nullptr;
game_signatures::Die* original_b = nullptr;
game_signatures::Die* original_c = nullptr;

bool DieA(APrimalDinoCharacter* dino, float damage, FDamageEvent* event, AController* killer,
          AActor* causer) {
  trace += 'A';
  return original_a(dino, damage, event, killer, causer);
}
bool DieB(APrimalDinoCharacter* dino, float damage, FDamageEvent* event, AController* killer,
          AActor* causer) {
  trace += 'B';
  return original_b(dino, damage, event, killer, causer);
}
bool DieC(APrimalDinoCharacter* dino, float damage, FDamageEvent* event, AController* killer,
          AActor* causer) {
  trace += 'C';
  return original_c(dino, damage, event, killer, causer);
}

struct Detour {
  char letter;
  void* function;
  game_signatures::Die** slot;
};
const std::array<Detour, 3> kDetours = {{{'A', reinterpret_cast<void*>(&DieA), &original_a},
                                         {'B', reinterpret_cast<void*>(&DieB), &original_b},
                                         {'C', reinterpret_cast<void*>(&DieC), &original_c}}};

bool Set(const Detour& detour) {
  return ArkApi::GetHooks().SetHook("APrimalDinoCharacter.Die", detour.function,
                                    reinterpret_cast<void**>(detour.slot));
}
bool Remove(const Detour& detour) {
  return ArkApi::GetHooks().DisableHook("APrimalDinoCharacter.Die", detour.function);
}

class HookTableTest : public DevServerTest {
 protected:
  // Kills a fresh creature; returns the detours that ran, top first.
  std::string KillThroughChain() {
    trace.clear();
    EXPECT_TRUE(devserver::Kill(PlaceOne(kStrider)));
    return trace;
  }
};

TEST_F(HookTableTest, GameCallsTheTopDetourAndEachReachesTheOneBelow) {
  for (const Detour& detour : kDetours) EXPECT_TRUE(Set(detour));
  EXPECT_EQ(KillThroughChain(), "CBA");
  EXPECT_EQ(devserver::InstalledHooks(),
            (std::vector<std::string>{"APrimalDinoCharacter.Die", "APrimalDinoCharacter.Die",
                                      "APrimalDinoCharacter.Die"}));
  for (const Detour& detour : kDetours) EXPECT_TRUE(Remove(detour));
}

TEST_F(HookTableTest, ChainsComeOffInAnyOrder) {
  std::array<int, 3> order = {0, 1, 2};
  do {
    for (const Detour& detour : kDetours) ASSERT_TRUE(Set(detour));
    std::string remaining = "CBA";
    for (const int index : order) {
      ASSERT_TRUE(Remove(kDetours[index]));
      remaining.erase(remaining.find(kDetours[index].letter), 1);
      EXPECT_EQ(KillThroughChain(), remaining)
          << "removal order " << order[0] << order[1] << order[2];
    }
    EXPECT_TRUE(devserver::InstalledHooks().empty());
  } while (std::next_permutation(order.begin(), order.end()));
}

TEST_F(HookTableTest, SettingAndRemovingAreRecorded) {
  TakeEvents();
  Set(kDetours[0]);
  Set(kDetours[1]);
  Remove(kDetours[0]);
  Remove(kDetours[1]);
  EXPECT_EQ(TakeEvents(), (std::vector<std::string>{
                              "hook set APrimalDinoCharacter.Die",
                              "hook set APrimalDinoCharacter.Die",
                              "hook removed APrimalDinoCharacter.Die",
                              "hook removed APrimalDinoCharacter.Die",
                          }));
}

TEST_F(HookTableTest, TheSameDetourTwiceIsRefusedAndItsSlotLeftAlone) {
  ASSERT_TRUE(Set(kDetours[0]));
  game_signatures::Die* second_slot = nullptr;
  TakeEvents();
  EXPECT_FALSE(ArkApi::GetHooks().SetHook("APrimalDinoCharacter.Die", kDetours[0].function,
                                          reinterpret_cast<void**>(&second_slot)));
  EXPECT_EQ(second_slot, nullptr);
  EXPECT_EQ(TakeEvents(), std::vector<std::string>{"hook refused APrimalDinoCharacter.Die"});
  EXPECT_EQ(KillThroughChain(), "A");
  EXPECT_TRUE(Remove(kDetours[0]));
  EXPECT_EQ(KillThroughChain(), "");
}

TEST_F(HookTableTest, UnknownNamesAndAbsentDetoursAreRefusedHarmlessly) {
  game_signatures::Die* slot = nullptr;
  TakeEvents();
  EXPECT_FALSE(ArkApi::GetHooks().SetHook("APrimalDinoCharacter.Dies", kDetours[0].function,
                                          reinterpret_cast<void**>(&slot)));
  EXPECT_EQ(slot, nullptr);
  EXPECT_FALSE(Remove(kDetours[1]));
  EXPECT_FALSE(ArkApi::GetHooks().DisableHook("Nothing.AtAll", kDetours[1].function));
  EXPECT_EQ(TakeEvents(), (std::vector<std::string>{"hook refused APrimalDinoCharacter.Dies",
                                                    "hook absent APrimalDinoCharacter.Die",
                                                    "hook absent Nothing.AtAll"}));
  EXPECT_EQ(KillThroughChain(), "");
}

TEST_F(HookTableTest, CallingTheFunctionByAddressGoesThroughTheDetours) {
  ASSERT_TRUE(Set(kDetours[1]));
  trace.clear();
  const auto id = PlaceOne(kStrider);
  EXPECT_TRUE(
      game::Call<game_abi::Die>(devserver::CreatureObject(id), 1.f, nullptr, nullptr, nullptr));
  EXPECT_EQ(trace, "B");
  Remove(kDetours[1]);
}

}  // namespace
