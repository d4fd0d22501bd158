#pragma once

// The game's own functions, with the signatures the host hands them out with (object first).
// `own::` holds the game's own behaviour; for the detourable ones, `entry::` holds what the game
// (and GetAddress) calls: the function's current slot in the hook table.

#include <cstddef>
#include <cstdint>

#include "host/engine_types.h"
#include "host/game_functions.h"

namespace devserver::own {

// Detourable: declared with the signatures the plug-in detours them with.
game_signatures::InitGame InitGame;
game_signatures::Die Die;
game_signatures::Destroyed Destroyed;
game_signatures::DestroyWildDinos DestroyWildDinos;
game_signatures::SpawnNPC SpawnNPC;

// Objects, classes and names.
void NameInit(FName* out, const char* text, int number, int find_type, bool split_name,
              int hardcode_index);
void ClassToStringReference(FString* out, UClass* cls);
bool IsA(UObject* object, UClass* cls);
UClass* CreatureStaticClass();
void WeakAssign(FWeakObjectPtr* weak, UObject* object);
UObject* WeakGet(const FWeakObjectPtr* weak, bool even_if_pending_kill);

// Actors and creatures.
bool ActorDestroy(AActor* actor, bool net_force, bool should_modify_level);
bool ActorHasTag(AActor* actor, FName tag);
bool IsTamed(APrimalDinoCharacter* creature);
UPrimalCharacterStatusComponent* StatusComponent(APrimalCharacter* character);
int32_t CharacterLevel(UPrimalCharacterStatusComponent* status);
void GetAllActorsOfClass(UWorld* world, UClass* cls, EngineArray<AActor*>* out);

// Messages.
void ChatDirectMessage(AShooterPlayerController* controller, FString* message, FLinearColor colour,
                       bool bold);
void SendRconMessage(RCONClientConnection* connection, int32_t request_id, int32_t type,
                     FString* message);

}  // namespace devserver::own

namespace devserver::entry {

game_signatures::InitGame InitGame;
game_signatures::Die Die;
game_signatures::Destroyed Destroyed;
game_signatures::DestroyWildDinos DestroyWildDinos;
game_signatures::SpawnNPC SpawnNPC;

}  // namespace devserver::entry
