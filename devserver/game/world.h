#pragma once

// The game world: the engine's singletons (world, game mode, default spawn zone, the
// administrator's player controller, the cheat manager, an RCON connection) and every creature ever
// made. Removed creatures are unreachable through weak references, but their records stay for
// listing until the server stops.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "devserver/game/class_registry.h"
#include "devserver/game/game_objects.h"
#include "devserver/game/object_table.h"

namespace devserver {

class GameWorld {
 public:
  GameWorld(ObjectTable& objects, ClassRegistry& classes);

  CreatureRecord& AddCreature(ClassRecord* cls, std::string reference, std::optional<int32_t> level,
                              int32_t team, bool tamed);
  // A further spawn zone manager (the default one is `zone`).
  ZoneRecord& AddZone();
  // The creature leaves the world: unreachable from now on (weak references resolve to null).
  void Remove(CreatureRecord& creature);

  CreatureRecord* Find(CreatureId id);
  // Drops the records of every creature, all of which have left the world; ids start again at 1.
  void ForgetCreatures();
  const std::vector<std::unique_ptr<CreatureRecord>>& Creatures() const { return creatures_; }
  // Actors other than creatures, in world order (they come before every creature).
  const std::vector<ActorRecord*>& EngineActors() const { return engine_actors_; }

  PlainObjectRecord world_object{ObjectKind::World};
  ActorRecord game_mode{ObjectKind::GameMode};
  ZoneRecord zone;
  ActorRecord player_controller{ObjectKind::PlayerController};
  PlainObjectRecord cheat_manager{ObjectKind::CheatManager};
  PlainObjectRecord rcon_connection{ObjectKind::RconConnection};

 private:
  ObjectTable& objects_;
  std::vector<std::unique_ptr<CreatureRecord>> creatures_;  // index = id - 1
  std::vector<std::unique_ptr<StatusComponentRecord>> status_components_;
  std::vector<ActorRecord*> engine_actors_;
  std::vector<std::unique_ptr<ZoneRecord>> zones_;
  ClassRecord* zone_class_ = nullptr;
  ClassRecord* status_class_ = nullptr;
};

}  // namespace devserver
