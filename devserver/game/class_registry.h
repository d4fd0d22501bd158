#pragma once

// The game's classes, named by their reference text. The engine's own classes exist from the start;
// a creature class is made on first use of its reference text, as a subclass of the creature base
// class.

#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "devserver/game/game_objects.h"
#include "devserver/game/object_table.h"

namespace devserver {

enum class EngineClass {
  Object,
  Class,
  World,
  Actor,
  Creature,  // the creature base class, "APrimalDinoCharacter.GetPrivateStaticClass"
  StatusComponent,
  Zone,
  GameMode,
  PlayerController,
  CheatManager,
  RconConnection,
  ColourSet,  // what a spawn zone colours its creatures with
};

class ClassRegistry {
 public:
  explicit ClassRegistry(ObjectTable& objects);

  ClassRecord& Engine(EngineClass which);
  ClassRecord* Find(std::string_view reference);
  // Throws std::invalid_argument when the reference names an engine class that is no creature.
  ClassRecord& Creature(std::string_view reference);

  static bool IsA(const ObjectRecord& object, const ClassRecord* cls);

 private:
  ClassRecord& Add(std::string_view reference, ClassRecord* super);

  ObjectTable& objects_;
  std::vector<std::unique_ptr<ClassRecord>> classes_;
  std::unordered_map<std::string_view, ClassRecord*> by_reference_;
  std::vector<ClassRecord*> engine_;
};

}  // namespace devserver
