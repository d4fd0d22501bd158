// Exceptions that reach the stand-in from plug-in code are caught there and recorded as faults.

#include <stdexcept>

#include "host/api.h"
#include "host/game_functions.h"
#include "tests/devserver/devserver_test.h"

namespace {

game_signatures::SpawnNPC* spawn_original = nullptr;

APrimalDinoCharacter* ThrowingSpawn(ANPCZoneManager*, TSubclassOf<APrimalDinoCharacter>, FVector,
                                    bool, int32_t, float, bool, float, float, float, float,
                                    TSubclassOf<UPrimalColorSet>) {
  throw std::runtime_error("boom");
}

class EscapedExceptionTest : public DevServerTest {};

TEST_F(EscapedExceptionTest, FromADetour) {
  ASSERT_TRUE(ArkApi::GetHooks().SetHook("ANPCZoneManager.SpawnNPC",
                                         reinterpret_cast<void*>(&ThrowingSpawn),
                                         reinterpret_cast<void**>(&spawn_original)));
  devserver::SpawnRequest request;
  request.reference = kStrider;
  EXPECT_TRUE(devserver::Spawn(request).empty());
  EXPECT_EQ(TakeFaults(),
            std::vector<std::string>{
                "exception escaped from the detour of ANPCZoneManager.SpawnNPC: boom"});
  ArkApi::GetHooks().DisableHook("ANPCZoneManager.SpawnNPC",
                                 reinterpret_cast<void*>(&ThrowingSpawn));
  EXPECT_EQ(devserver::Spawn(request).size(), 1u);
}

TEST_F(EscapedExceptionTest, FromACommand) {
  ArkApi::GetCommands().AddConsoleCommand(
      FString("fake.throw"),
      [](APlayerController*, FString*, bool) { throw std::logic_error("bad command"); });
  ArkApi::GetCommands().AddRconCommand(
      FString("fake.throw"), [](RCONClientConnection*, RCONPacket*, UWorld*) { throw 42; });
  devserver::ConsoleCommand("fake.throw now");
  devserver::RconCommand("fake.throw");
  EXPECT_EQ(TakeFaults(),
            (std::vector<std::string>{
                "exception escaped from the console command fake.throw: bad command",
                "exception escaped from the rcon command fake.throw: an exception that is not a "
                "std::exception"}));
  ArkApi::GetCommands().RemoveConsoleCommand(FString("fake.throw"));
  ArkApi::GetCommands().RemoveRconCommand(FString("fake.throw"));
}

TEST_F(EscapedExceptionTest, FromATimerTask) {
  bool later_ran = false;
  API::Timer::Get().DelayExecuteInternal([] { throw std::runtime_error("late"); }, 1);
  API::Timer::Get().DelayExecuteInternal([&later_ran] { later_ran = true; }, 2);
  devserver::Advance(5);
  EXPECT_TRUE(later_ran);
  EXPECT_EQ(TakeFaults(), std::vector<std::string>{"exception escaped from a timer task: late"});
}

}  // namespace
