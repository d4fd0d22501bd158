#pragma once

// The simulated game's objects. The plug-in sees them only as opaque pointers (host/engine_types.h)
// and reaches their fields through GetAddress, so their layout is the stand-in's own. Every object
// starts with its class pointer and a magic number, so that a pointer that is not a game object is
// caught instead of being read as one.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "devserver/control/server.h"
#include "host/engine_types.h"

namespace devserver {

enum class ObjectKind : uint32_t {
  Class,
  World,
  Creature,
  StatusComponent,
  Zone,
  GameMode,
  PlayerController,
  CheatManager,
  RconConnection,
};

std::string_view KindName(ObjectKind kind);

inline constexpr uint32_t kObjectMagic = 0x4F42564B;

struct ObjectRecord {
  explicit ObjectRecord(ObjectKind object_kind) : kind(object_kind) {}
  ObjectRecord(const ObjectRecord&) = delete;
  ObjectRecord& operator=(const ObjectRecord&) = delete;

  UClass* class_field = nullptr;  // "UObjectBase.Class"
  uint32_t magic = kObjectMagic;
  ObjectKind kind;
  int32_t index = -1;  // slot in the object table; -1 once unreachable
  int32_t serial = 0;  // serial number the slot had when the object got it

  bool IsActor() const;
};

struct ClassRecord : ObjectRecord {
  ClassRecord() : ObjectRecord(ObjectKind::Class) {}
  ClassRecord* super = nullptr;
  std::string reference;           // the reference text, UTF-8
  std::u16string reference_units;  // the same, as the engine string it is handed out as
  bool creature_class = false;     // the creature base class or a subclass of it
};

// Fields every actor has.
struct ActorRecord : ObjectRecord {
  using ObjectRecord::ObjectRecord;
  int32_t targeting_team = kWildTeam;  // "AActor.TargetingTeam"
  EngineArray<FName> tags;             // "AActor.Tags"
};

struct CreatureRecord;

struct StatusComponentRecord : ObjectRecord {
  StatusComponentRecord() : ObjectRecord(ObjectKind::StatusComponent) {}
  int32_t level = 1;
  CreatureRecord* owner = nullptr;
};

struct CreatureRecord : ActorRecord {
  CreatureRecord() : ActorRecord(ObjectKind::Creature) {}
  CreatureId id = 0;
  std::string
      reference;  // class it was made as, kept for listing even when the class field is null
  StatusComponentRecord* status = nullptr;
  bool tamed = false;
  CreatureState state = CreatureState::Alive;
  bool being_destroyed = false;
  bool refuses_death = false;  // the game's Die returns false for it
  // Tag bookkeeping: how many entries of the tag array have been reported as events, and whether
  // the creature is on the list to look at at the next sync point.
  int32_t reported_tags = 0;
  bool tags_watched = false;
};

// What a spawn zone is asked to make by the spawn in progress.
struct PendingSpawn {
  ClassRecord* made_class = nullptr;  // null: the class the zone is called with
  std::optional<int32_t> level = 1;
  bool fail = false;
};

struct ZoneRecord : ActorRecord {
  ZoneRecord() : ActorRecord(ObjectKind::Zone) {}
  const PendingSpawn* pending = nullptr;  // null outside Spawn(): a plain spawn at level 1
};

struct PlainObjectRecord : ObjectRecord {
  using ObjectRecord::ObjectRecord;
};

// Checked views of an opaque pointer: a null pointer, a pointer that is not a game object, or an
// object of another kind is a programming error (the process aborts, naming `function`).
ObjectRecord& AsObject(const void* object, std::string_view function);
ClassRecord& AsClass(const void* object, std::string_view function);
ActorRecord& AsActor(const void* object, std::string_view function);
CreatureRecord& AsCreature(const void* object, std::string_view function);
StatusComponentRecord& AsStatusComponent(const void* object, std::string_view function);
ObjectRecord& AsKind(const void* object, ObjectKind kind, std::string_view function);

// How a call record names an object it was given: "null", "#3" for a creature, the reference text
// for a class, the kind for anything else ("spawn zone").
std::string ObjectText(const void* object);

// The damage event every death in the simulated world carries; the game only passes it on.
FDamageEvent* TheDamageEvent();
// How a call record names a damage event: "damage event" for the one above, "null", or "other".
std::string_view DamageEventText(const FDamageEvent* event);

template <typename Engine>
Engine* AsEngine(ObjectRecord* record) {
  return reinterpret_cast<Engine*>(record);
}
template <typename Engine>
Engine* AsEngine(ObjectRecord& record) {
  return reinterpret_cast<Engine*>(&record);
}

}  // namespace devserver
