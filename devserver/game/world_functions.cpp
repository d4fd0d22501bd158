// The game's own functions on the world: the game mode's initialisation, spawning, the cheat that
// destroys wild creatures, and the actor query.

#include <string>
#include <vector>

#include "devserver/fatal.h"
#include "devserver/game/creature_removal.h"
#include "devserver/game/engine_allocator.h"
#include "devserver/game/game_own_functions.h"
#include "devserver/journal.h"
#include "host/engine_memory.h"
#include "host/text.h"

namespace devserver::own {

namespace {

std::string StringArgument(const FString* text) {
  return text == nullptr ? "null" : "'" + ToUtf8(text->View()) + "'";
}

}  // namespace

void InitGame(AShooterGameMode* game_mode, FString* map_name, FString* options,
              FString* error_message) {
  const engine_allocator::GameAllocationScope own_memory;
  RunningServer("AShooterGameMode.InitGame");
  if (TheJournal().record_events) {
    RecordGameCallF("InitGame {} map {} options {} error {}", ObjectText(game_mode),
                    StringArgument(map_name), StringArgument(options),
                    StringArgument(error_message));
  }
  if (game_mode == nullptr) return;
  AsKind(game_mode, ObjectKind::GameMode, "AShooterGameMode.InitGame");
  RecordEvent("init game");
}

void DestroyWildDinos(UShooterCheatManager* cheat_manager) {
  const engine_allocator::GameAllocationScope own_memory;
  if (cheat_manager == nullptr) return;
  Server& server = RunningServer("UShooterCheatManager.DestroyWildDinos");
  if (TheJournal().record_events) RecordGameCallF("DestroyWildDinos {}", ObjectText(cheat_manager));
  AsKind(cheat_manager, ObjectKind::CheatManager, "UShooterCheatManager.DestroyWildDinos");
  RecordEvent("destroy wild dinos");
  // Bodies of dead wild creatures are in the world too.
  std::vector<CreatureRecord*> wild;
  for (const auto& creature : server.world.Creatures()) {
    if (creature->state != CreatureState::Removed && !creature->tamed &&
        creature->targeting_team <= 50000) {
      wild.push_back(creature.get());
    }
  }
  for (CreatureRecord* creature : wild) RemoveCreature(server, *creature);
}

APrimalDinoCharacter* SpawnNPC(ANPCZoneManager* zone, TSubclassOf<APrimalDinoCharacter> dino_class,
                               FVector location, bool a4, int32_t a5, float a6, bool a7, float a8,
                               float a9, float a10, float a11,
                               TSubclassOf<UPrimalColorSet> colour_set) {
  const engine_allocator::GameAllocationScope own_memory;
  Server& server = RunningServer("ANPCZoneManager.SpawnNPC");
  if (TheJournal().record_events) {
    RecordGameCallF("SpawnNPC {} class {} at {},{},{} {} {} {} {} {} {} {} {} colours {}",
                    ObjectText(zone), ObjectText(dino_class.uClass), location.X, location.Y,
                    location.Z, a4, a5, a6, a7, a8, a9, a10, a11, ObjectText(colour_set.uClass));
  }
  if (zone == nullptr) return nullptr;
  const auto& spawner =
      static_cast<const ZoneRecord&>(AsKind(zone, ObjectKind::Zone, "ANPCZoneManager.SpawnNPC"));
  const PendingSpawn plain;
  const PendingSpawn& request = spawner.pending != nullptr ? *spawner.pending : plain;
  if (dino_class.uClass == nullptr) {
    RecordEvent("spawn failed null class");
    return nullptr;
  }
  ClassRecord& asked = AsClass(dino_class.uClass, "ANPCZoneManager.SpawnNPC");
  if (!asked.creature_class || request.fail) {
    RecordEventF("spawn failed {}", asked.reference);
    return nullptr;
  }
  ClassRecord& made = request.made_class != nullptr ? *request.made_class : asked;
  CreatureRecord& creature =
      server.world.AddCreature(&made, made.reference, request.level, kWildTeam, false);
  if (EventsWanted()) {
    RecordEventF("spawned #{} {} level {}", creature.id, made.reference,
                 request.level ? std::to_string(*request.level) : "none");
  }
  return AsEngine<APrimalDinoCharacter>(creature);
}

UClass* CreatureStaticClass() {
  return AsEngine<UClass>(RunningServer("APrimalDinoCharacter.GetPrivateStaticClass")
                              .classes.Engine(EngineClass::Creature));
}

void GetAllActorsOfClass(UWorld* world, UClass* cls, EngineArray<AActor*>* out) {
  const engine_allocator::GameAllocationScope own_memory;
  Server& server = RunningServer("UGameplayStatics.GetAllActorsOfClass");
  AsKind(world, ObjectKind::World, "UGameplayStatics.GetAllActorsOfClass");
  if (out == nullptr) ProgrammingError("UGameplayStatics.GetAllActorsOfClass: null out array");
  out->ArrayNum = 0;
  if (cls == nullptr) return;
  const ClassRecord& wanted = AsClass(cls, "UGameplayStatics.GetAllActorsOfClass");

  // World order: the engine's actors, then every creature in the world (bodies included) in the
  // order they entered it.
  const auto visit = [&](auto&& take) {
    for (ActorRecord* actor : server.world.EngineActors()) {
      if (ClassRegistry::IsA(*actor, &wanted)) take(*actor);
    }
    for (const auto& creature : server.world.Creatures()) {
      if (creature->state != CreatureState::Removed && ClassRegistry::IsA(*creature, &wanted)) {
        take(*creature);
      }
    }
  };
  // A game may hand out a null entry and actors of other classes too.
  const bool odd = server.odd_actor_query;
  int32_t count = odd ? 3 : 0;
  visit([&](ActorRecord&) { ++count; });
  if (count > out->ArrayMax) {
    const int32_t capacity = engine_memory::GrownCapacity(out->ArrayMax, count);
    void* grown = engine_allocator::Realloc(out->Data, sizeof(AActor*) * capacity);
    if (grown == nullptr) {
      RecordFault("UGameplayStatics.GetAllActorsOfClass: out of engine memory");
      return;
    }
    out->Data = static_cast<AActor**>(grown);
    out->ArrayMax = capacity;
  }
  if (odd) {
    out->Data[out->ArrayNum++] = nullptr;
    out->Data[out->ArrayNum++] = AsEngine<AActor>(server.world.player_controller);
  }
  visit([&](ActorRecord& actor) { out->Data[out->ArrayNum++] = AsEngine<AActor>(actor); });
  if (odd) out->Data[out->ArrayNum++] = nullptr;
}

}  // namespace devserver::own
