// A small plug-in library for the stand-in's own tests of loading and releasing. What it does is
// chosen by the word in <server dir>/fake-plugin.txt: "tidy" undoes everything at unload; "untidy"
// leaves its detour, its commands and an engine memory block behind.

#include <fstream>
#include <string>

#include "host/api.h"
#include "host/engine_memory.h"
#include "host/game_functions.h"

namespace {

game_signatures::Die* die_original = nullptr;

bool Hook_Die(APrimalDinoCharacter* dino, float damage, FDamageEvent* event, AController* killer,
              AActor* causer) {
  const bool died = die_original(dino, damage, event, killer, causer);
  if (died) game::Tags(dino).Add(game::MakeName("FakeMark"));
  return died;
}

void Hello(APlayerController* player, FString*, bool) {
  FString text("hello from the fake plug-in");
  game::ClientServerChatDirectMessage(static_cast<AShooterPlayerController*>(player), &text,
                                      {1, 1, 1, 1}, false);
}

void HelloRcon(RCONClientConnection* connection, RCONPacket* packet, UWorld*) {
  FString text("hello over RCON");
  game::SendRconMessage(connection, packet->Id, 0, &text);
}

std::string Mode() {
  std::ifstream file(ArkApi::Tools::GetCurrentDir() + "/fake-plugin.txt");
  std::string mode;
  file >> mode;
  return mode;
}

void* kept_block = nullptr;

struct FakePlugin {
  FakePlugin() {
    tidy = Mode() == "tidy";
    ArkApi::GetHooks().SetHook("APrimalDinoCharacter.Die", reinterpret_cast<void*>(&Hook_Die),
                               reinterpret_cast<void**>(&die_original));
    ArkApi::GetCommands().AddConsoleCommand(FString("fake.hello"), &Hello);
    ArkApi::GetCommands().AddRconCommand(FString("fake.hello"), &HelloRcon);
    // A pending task whose captured text is engine memory: dropping the task gives it back.
    FString captured("captured");
    API::Timer::Get().DelayExecuteInternal([captured] { static_cast<void>(captured.Num()); }, 10);
    if (!tidy) kept_block = engine_memory::Malloc(32);
  }
  ~FakePlugin() {
    if (!tidy) return;
    ArkApi::GetHooks().DisableHook("APrimalDinoCharacter.Die", reinterpret_cast<void*>(&Hook_Die));
    ArkApi::GetCommands().RemoveConsoleCommand(FString("fake.hello"));
    ArkApi::GetCommands().RemoveRconCommand(FString("fake.hello"));
  }
  FakePlugin(const FakePlugin&) = delete;
  FakePlugin& operator=(const FakePlugin&) = delete;
  bool tidy = false;
};

const FakePlugin plugin;

}  // namespace
