#include "devserver/game/game_objects.h"

#include <string>

#include "devserver/fatal.h"

namespace devserver {

std::string_view KindName(ObjectKind kind) {
  switch (kind) {
    case ObjectKind::Class:
      return "class";
    case ObjectKind::World:
      return "world";
    case ObjectKind::Creature:
      return "creature";
    case ObjectKind::StatusComponent:
      return "status component";
    case ObjectKind::Zone:
      return "spawn zone";
    case ObjectKind::GameMode:
      return "game mode";
    case ObjectKind::PlayerController:
      return "player controller";
    case ObjectKind::CheatManager:
      return "cheat manager";
    case ObjectKind::RconConnection:
      return "RCON connection";
  }
  return "unknown object";
}

bool ObjectRecord::IsActor() const {
  switch (kind) {
    case ObjectKind::Creature:
    case ObjectKind::Zone:
    case ObjectKind::GameMode:
    case ObjectKind::PlayerController:
      return true;
    default:
      return false;
  }
}

ObjectRecord& AsObject(const void* object, std::string_view function) {
  if (object == nullptr) ProgrammingError(std::string(function) + ": null object");
  auto* record = static_cast<ObjectRecord*>(const_cast<void*>(object));
  if (record->magic != kObjectMagic) {
    ProgrammingError(std::string(function) + ": pointer is not a game object");
  }
  return *record;
}

std::string ObjectText(const void* object) {
  if (object == nullptr) return "null";
  const ObjectRecord& record = AsObject(object, "a call record");
  switch (record.kind) {
    case ObjectKind::Creature:
      return "#" + std::to_string(static_cast<const CreatureRecord&>(record).id);
    case ObjectKind::Class:
      return static_cast<const ClassRecord&>(record).reference;
    default:
      return std::string(KindName(record.kind));
  }
}

FDamageEvent* TheDamageEvent() {
  alignas(16) static unsigned char storage[64] = {};
  return reinterpret_cast<FDamageEvent*>(storage);
}

std::string_view DamageEventText(const FDamageEvent* event) {
  if (event == nullptr) return "null";
  return event == TheDamageEvent() ? "damage event" : "other";
}

ObjectRecord& AsKind(const void* object, ObjectKind kind, std::string_view function) {
  ObjectRecord& record = AsObject(object, function);
  if (record.kind != kind) {
    ProgrammingError(std::string(function) + ": expected a " + std::string(KindName(kind)) +
                     ", got a " + std::string(KindName(record.kind)));
  }
  return record;
}

ClassRecord& AsClass(const void* object, std::string_view function) {
  return static_cast<ClassRecord&>(AsKind(object, ObjectKind::Class, function));
}

ActorRecord& AsActor(const void* object, std::string_view function) {
  ObjectRecord& record = AsObject(object, function);
  if (!record.IsActor()) {
    ProgrammingError(std::string(function) + ": expected an actor, got a " +
                     std::string(KindName(record.kind)));
  }
  return static_cast<ActorRecord&>(record);
}

CreatureRecord& AsCreature(const void* object, std::string_view function) {
  return static_cast<CreatureRecord&>(AsKind(object, ObjectKind::Creature, function));
}

StatusComponentRecord& AsStatusComponent(const void* object, std::string_view function) {
  return static_cast<StatusComponentRecord&>(AsKind(object, ObjectKind::StatusComponent, function));
}

}  // namespace devserver
