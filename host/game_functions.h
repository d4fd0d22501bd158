#pragma once

// The game server's functions and fields, reached by their host names at every use. Nothing is
// cached and no address is tested: the host hands out every name below, and a game function's
// address can change while the plug-in runs (another plug-in may hook it).
//
// Game member functions take their object first. Names and signatures come from the table of
// host/game_abi.h, which `kestrovar doctor` holds against the game's program database.

#include <cstdint>
#include <string_view>

#include "host/api.h"
#include "host/engine_types.h"
#include "host/game_abi.h"

namespace game {

// Calls the game function of the table entry E with E's signature, so that every argument is
// converted to the parameter type the game expects.
template <typename E, typename... Args>
decltype(auto) Call(Args&&... args) {
  static_assert(game_abi::Listed<E>() && E::kUse != game_abi::Use::kField,
                "a game function the plug-in calls is an entry of game_abi::kEntries");
  using Pointer = typename E::Signature*;
  // A copy made at compile time: the table's own members never reach the library's symbols (as
  // unique symbols, they would keep a shared library from being unloaded).
  constexpr std::string_view name = E::kName;
  return reinterpret_cast<Pointer>(GetAddress(name))(static_cast<Args&&>(args)...);
}

// The field of the table entry E in `object`.
template <typename E>
typename E::Type& Field(const void* object) {
  static_assert(game_abi::Listed<E>() && E::kUse == game_abi::Use::kField,
                "a game field the plug-in reads is an entry of game_abi::kEntries");
  constexpr std::string_view name = E::kName;
  return *static_cast<typename E::Type*>(GetAddress(object, name));
}

// --- Names and classes -------------------------------------------------------------------------

inline FName MakeName(const char* text) {
  FName name;
  Call<game_abi::NameInit>(&name, text, 0, 1, true, -1);
  return name;
}

inline FString ClassToStringReference(UClass* cls) {
  FString reference;
  Call<game_abi::ClassToStringReference>(&reference, cls);
  return reference;
}

inline UClass*& ObjectClass(UObject* object) { return Field<game_abi::ObjectClass>(object); }

inline bool IsA(UObject* object, UClass* cls) { return Call<game_abi::IsA>(object, cls); }

// --- Actors ------------------------------------------------------------------------------------

inline int32_t& TargetingTeam(AActor* actor) { return Field<game_abi::TargetingTeam>(actor); }

inline EngineArray<FName>& Tags(AActor* actor) { return Field<game_abi::Tags>(actor); }

inline bool ActorHasTag(AActor* actor, FName tag) {
  return Call<game_abi::ActorHasTag>(actor, tag);
}

inline bool Destroy(AActor* actor) { return Call<game_abi::Destroy>(actor, false, false); }

// --- Creatures ---------------------------------------------------------------------------------

inline UClass* DinoStaticClass() { return Call<game_abi::DinoStaticClass>(); }

inline bool IsTamed(APrimalDinoCharacter* dino) { return Call<game_abi::IsTamed>(dino); }

inline UPrimalCharacterStatusComponent* StatusComponent(APrimalCharacter* character) {
  return Call<game_abi::StatusComponent>(character);
}

inline int32_t CharacterLevel(UPrimalCharacterStatusComponent* status) {
  return Call<game_abi::CharacterLevel>(status);
}

inline void GetAllActorsOfClass(UWorld* world, UClass* cls, EngineArray<AActor*>* out) {
  Call<game_abi::GetAllActorsOfClass>(world, cls, out);
}

// --- Weak references ---------------------------------------------------------------------------

inline void SetWeak(FWeakObjectPtr* weak, UObject* object) {
  Call<game_abi::SetWeak>(weak, object);
}

inline UObject* ResolveWeak(const FWeakObjectPtr* weak) {
  return Call<game_abi::ResolveWeak>(weak, false);
}

// --- Messages ----------------------------------------------------------------------------------

inline void ClientServerChatDirectMessage(AShooterPlayerController* controller, FString* message,
                                          FLinearColor colour, bool bold) {
  Call<game_abi::ChatDirectMessage>(controller, message, colour, bold);
}

inline void SendRconMessage(RCONClientConnection* connection, int32_t request_id, int32_t type,
                            FString* message) {
  Call<game_abi::SendRconMessage>(connection, request_id, type, message);
}

}  // namespace game

// The game functions the plug-in detours, with the game's own signatures (object first), as the
// table has them.
namespace game_signatures {
using InitGame = game_abi::InitGame::Signature;
using Die = game_abi::Die::Signature;
using Destroyed = game_abi::Destroyed::Signature;
using DestroyWildDinos = game_abi::DestroyWildDinos::Signature;
using SpawnNPC = game_abi::SpawnNPC::Signature;
}  // namespace game_signatures
