#include "devserver/game/class_registry.h"

#include <stdexcept>
#include <string>

#include "devserver/game/text_units.h"

namespace devserver {

ClassRegistry::ClassRegistry(ObjectTable& objects) : objects_(objects) {
  // In the order of EngineClass.
  ClassRecord& object = Add("/Script/CoreUObject.Object", nullptr);
  ClassRecord& metaclass = Add("/Script/CoreUObject.Class", &object);
  ClassRecord& world = Add("/Script/Engine.World", &object);
  ClassRecord& actor = Add("/Script/Engine.Actor", &object);
  ClassRecord& creature = Add("/Script/Game.PrimalDinoCharacter", &actor);
  creature.creature_class = true;
  ClassRecord& status = Add("/Script/Game.PrimalCharacterStatusComponent", &object);
  ClassRecord& zone = Add("/Script/Game.NPCZoneManager", &actor);
  ClassRecord& game_mode = Add("/Script/Game.ShooterGameMode", &actor);
  ClassRecord& controller = Add("/Script/Game.ShooterPlayerController", &actor);
  ClassRecord& cheat = Add("/Script/Game.ShooterCheatManager", &object);
  ClassRecord& rcon = Add("/Script/Game.RCONClientConnection", &object);
  ClassRecord& colours = Add("/Script/Game.PrimalColorSet", &object);
  engine_ = {&object, &metaclass, &world,      &actor, &creature, &status,
             &zone,   &game_mode, &controller, &cheat, &rcon,     &colours};
  for (const auto& cls : classes_) cls->class_field = AsEngine<UClass>(metaclass);
}

ClassRecord& ClassRegistry::Add(std::string_view reference, ClassRecord* super) {
  auto cls = std::make_unique<ClassRecord>();
  cls->super = super;
  cls->reference = std::string(reference);
  cls->reference_units = Utf8ToUtf16(reference);
  cls->creature_class = super != nullptr && super->creature_class;
  if (!engine_.empty()) cls->class_field = AsEngine<UClass>(Engine(EngineClass::Class));
  objects_.Register(*cls);
  ClassRecord& added = *cls;
  classes_.push_back(std::move(cls));
  by_reference_.emplace(added.reference, &added);
  return added;
}

ClassRecord& ClassRegistry::Engine(EngineClass which) {
  return *engine_[static_cast<std::size_t>(which)];
}

ClassRecord* ClassRegistry::Find(std::string_view reference) {
  const auto found = by_reference_.find(reference);
  return found == by_reference_.end() ? nullptr : found->second;
}

ClassRecord& ClassRegistry::Creature(std::string_view reference) {
  if (ClassRecord* existing = Find(reference)) {
    if (!existing->creature_class) {
      throw std::invalid_argument("\"" + std::string(reference) +
                                  "\" is an engine class, not a creature class");
    }
    return *existing;
  }
  return Add(reference, &Engine(EngineClass::Creature));
}

bool ClassRegistry::IsA(const ObjectRecord& object, const ClassRecord* cls) {
  if (cls == nullptr) return false;
  for (auto* c = reinterpret_cast<const ClassRecord*>(object.class_field); c != nullptr;
       c = c->super) {
    if (c == cls) return true;
  }
  return false;
}

}  // namespace devserver
