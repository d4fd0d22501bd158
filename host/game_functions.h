#pragma once

// The game server's functions and fields, reached by their host names at every use. Nothing is
// cached and no address is tested: the host hands out every name below, and a game function's
// address can change while the plug-in runs (another plug-in may hook it).
//
// Game member functions take their object first.

#include <cstdint>
#include <string_view>

#include "host/api.h"
#include "host/engine_types.h"

namespace game {

template <typename Signature>
struct Function;

template <typename Result, typename... Params>
struct Function<Result(Params...)> {
  static Result Call(std::string_view name, Params... params) {
    return reinterpret_cast<Result (*)(Params...)>(GetAddress(name))(params...);
  }
};

// Calls the game function `name` with the exact signature given, so that every argument is
// converted to the parameter type the game expects.
template <typename Signature, typename... Args>
decltype(auto) Call(std::string_view name, Args&&... args) {
  return Function<Signature>::Call(name, static_cast<Args&&>(args)...);
}

template <typename T>
T& Field(const void* object, std::string_view name) {
  return *static_cast<T*>(GetAddress(object, name));
}

// --- Names and classes -------------------------------------------------------------------------

inline FName MakeName(const char* text) {
  FName name;
  Call<void(FName*, const char*, int, int, bool, int)>("FName.Init", &name, text, 0, 1, true, -1);
  return name;
}

inline FString ClassToStringReference(UClass* cls) {
  FString reference;
  Call<void(FString*, UClass*)>("UVictoryCore.ClassToStringReference", &reference, cls);
  return reference;
}

inline UClass*& ObjectClass(UObject* object) { return Field<UClass*>(object, "UObjectBase.Class"); }

inline bool IsA(UObject* object, UClass* cls) {
  return Call<bool(UObject*, UClass*)>("UObjectBaseUtility.IsA", object, cls);
}

// --- Actors ------------------------------------------------------------------------------------

inline int32_t& TargetingTeam(AActor* actor) {
  return Field<int32_t>(actor, "AActor.TargetingTeam");
}

inline EngineArray<FName>& Tags(AActor* actor) {
  return Field<EngineArray<FName>>(actor, "AActor.Tags");
}

inline bool ActorHasTag(AActor* actor, FName tag) {
  return Call<bool(AActor*, FName)>("AActor.ActorHasTag", actor, tag);
}

inline bool Destroy(AActor* actor) {
  return Call<bool(AActor*, bool, bool)>("AActor.Destroy", actor, false, false);
}

// --- Creatures ---------------------------------------------------------------------------------

inline UClass* DinoStaticClass() {
  return Call<UClass*()>("APrimalDinoCharacter.GetPrivateStaticClass");
}

inline bool IsTamed(APrimalDinoCharacter* dino) {
  return Call<bool(APrimalDinoCharacter*)>("APrimalDinoCharacter.BPIsTamed", dino);
}

inline UPrimalCharacterStatusComponent* StatusComponent(APrimalCharacter* character) {
  return Call<UPrimalCharacterStatusComponent*(APrimalCharacter*)>(
      "APrimalCharacter.GetCharacterStatusComponent", character);
}

inline int32_t CharacterLevel(UPrimalCharacterStatusComponent* status) {
  return Call<int32_t(UPrimalCharacterStatusComponent*)>(
      "UPrimalCharacterStatusComponent.GetCharacterLevel", status);
}

inline void GetAllActorsOfClass(UWorld* world, UClass* cls, EngineArray<AActor*>* out) {
  Call<void(UWorld*, UClass*, EngineArray<AActor*>*)>("UGameplayStatics.GetAllActorsOfClass", world,
                                                      cls, out);
}

// --- Weak references ---------------------------------------------------------------------------

inline void SetWeak(FWeakObjectPtr* weak, UObject* object) {
  Call<void(FWeakObjectPtr*, UObject*)>("FWeakObjectPtr.operator=", weak, object);
}

inline UObject* ResolveWeak(const FWeakObjectPtr* weak) {
  return Call<UObject*(const FWeakObjectPtr*, bool)>("FWeakObjectPtr.Get", weak, false);
}

// --- Messages ----------------------------------------------------------------------------------

inline void ClientServerChatDirectMessage(AShooterPlayerController* controller, FString* message,
                                          FLinearColor colour, bool bold) {
  Call<void(AShooterPlayerController*, FString*, FLinearColor, bool)>(
      "AShooterPlayerController.ClientServerChatDirectMessage", controller, message, colour, bold);
}

inline void SendRconMessage(RCONClientConnection* connection, int32_t request_id, int32_t type,
                            FString* message) {
  Call<void(RCONClientConnection*, int32_t, int32_t, FString*)>(
      "RCONClientConnection.SendMessageW", connection, request_id, type, message);
}

}  // namespace game

// The game functions the plug-in detours, with the game's own signatures (object first).
namespace game_signatures {
using InitGame = void(AShooterGameMode*, FString* map_name, FString* options,
                      FString* error_message);
using Die = bool(APrimalDinoCharacter*, float killing_damage, FDamageEvent* damage_event,
                 AController* killer, AActor* damage_causer);
using Destroyed = void(APrimalDinoCharacter*);
using DestroyWildDinos = void(UShooterCheatManager*);
using SpawnNPC = APrimalDinoCharacter*(ANPCZoneManager*,
                                       TSubclassOf<APrimalDinoCharacter> dino_class,
                                       FVector location, bool, int32_t, float, bool, float, float,
                                       float, float, TSubclassOf<UPrimalColorSet> colour_set);
}  // namespace game_signatures
