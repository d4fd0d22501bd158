// GetAddress: the game's functions and fields by their host names. Names are looked up in hash
// tables keyed by views of static strings, so a lookup allocates nothing; the names are hashed
// eight bytes at a time. An unknown name is a
// programming error.

#include <string>
#include <string_view>
#include <unordered_map>

#include "devserver/fatal.h"
#include "devserver/game/engine_allocator.h"
#include "devserver/game/game_own_functions.h"
#include "devserver/name_hash.h"
#include "devserver/server_state.h"
#include "host/api.h"

namespace devserver {

namespace {

template <typename Function>
void* Address(Function* function) {
  return reinterpret_cast<void*>(function);
}

const std::unordered_map<std::string_view, void*, NameHash>& Functions() {
  static const auto* functions = new std::unordered_map<std::string_view, void*, NameHash>{
      {"FMemory.Malloc", Address(&engine_allocator::Malloc)},
      {"FMemory.Realloc", Address(&engine_allocator::Realloc)},
      {"FMemory.Free", Address(&engine_allocator::Free)},
      {"FName.Init", Address(&own::NameInit)},
      {"UVictoryCore.ClassToStringReference", Address(&own::ClassToStringReference)},
      {"UObjectBaseUtility.IsA", Address(&own::IsA)},
      {"APrimalDinoCharacter.GetPrivateStaticClass", Address(&own::CreatureStaticClass)},
      {"FWeakObjectPtr.operator=", Address(&own::WeakAssign)},
      {"FWeakObjectPtr.Get", Address(&own::WeakGet)},
      {"AActor.Destroy", Address(&own::ActorDestroy)},
      {"AActor.ActorHasTag", Address(&own::ActorHasTag)},
      {"APrimalDinoCharacter.BPIsTamed", Address(&own::IsTamed)},
      {"APrimalCharacter.GetCharacterStatusComponent", Address(&own::StatusComponent)},
      {"UPrimalCharacterStatusComponent.GetCharacterLevel", Address(&own::CharacterLevel)},
      {"UGameplayStatics.GetAllActorsOfClass", Address(&own::GetAllActorsOfClass)},
      {"AShooterPlayerController.ClientServerChatDirectMessage", Address(&own::ChatDirectMessage)},
      {"RCONClientConnection.SendMessageW", Address(&own::SendRconMessage)},
      // The detourable functions: calling them by address goes through their detours, as it does
      // on a real server whose functions are patched in place.
      {"AShooterGameMode.InitGame", Address(&entry::InitGame)},
      {"APrimalDinoCharacter.Die", Address(&entry::Die)},
      {"APrimalDinoCharacter.Destroyed", Address(&entry::Destroyed)},
      {"UShooterCheatManager.DestroyWildDinos", Address(&entry::DestroyWildDinos)},
      {"ANPCZoneManager.SpawnNPC", Address(&entry::SpawnNPC)},
  };
  return *functions;
}

enum class Field { Class, TargetingTeam, Tags };

const std::unordered_map<std::string_view, Field, NameHash>& Fields() {
  static const auto* fields = new std::unordered_map<std::string_view, Field, NameHash>{
      {"UObjectBase.Class", Field::Class},
      {"AActor.TargetingTeam", Field::TargetingTeam},
      {"AActor.Tags", Field::Tags},
  };
  return *fields;
}

}  // namespace

}  // namespace devserver

void* GetAddress(std::string_view name) {
  const auto& functions = devserver::Functions();
  const auto found = functions.find(name);
  if (found == functions.end()) {
    devserver::ProgrammingError("GetAddress: unknown game function \"" + std::string(name) + "\"");
  }
  return found->second;
}

void* GetAddress(const void* object, std::string_view field) {
  using devserver::Field;
  const auto& fields = devserver::Fields();
  const auto found = fields.find(field);
  if (found == fields.end()) {
    devserver::ProgrammingError("GetAddress: unknown field \"" + std::string(field) + "\"");
  }
  switch (found->second) {
    case Field::Class:
      return &devserver::AsObject(object, field).class_field;
    case Field::TargetingTeam:
      return &devserver::AsActor(object, field).targeting_team;
    case Field::Tags: {
      devserver::ActorRecord& actor = devserver::AsActor(object, field);
      if (actor.kind == devserver::ObjectKind::Creature) {
        devserver::RunningServer(field).tag_watch.Watch(
            static_cast<devserver::CreatureRecord&>(actor));
      }
      return &actor.tags;
    }
  }
  devserver::ProgrammingError("GetAddress: unhandled field");
}
