#pragma once

// The game world: the engine's singletons (world, game mode, default spawn zone, the
// administrator's player controller, the cheat manager, an RCON connection) and its creatures.
// Removed creatures are unreachable through weak references, but their records stay for listing
// until the server stops, unless the server forgets them (DropRemoved) so that a long run holds
// only the creatures still in the world.

#include <algorithm>
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
  // Removed creatures whose records are still kept.
  std::size_t RemovedKept() const { return removed_kept_; }
  // Drops the records of the removed creatures (and their status components), handing each to
  // `forget` first; the others keep their order and their addresses.
  template <typename Forget>
  void DropRemoved(Forget&& forget);
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
  // In the order they entered the world, which is the order of their ids.
  std::vector<std::unique_ptr<CreatureRecord>> creatures_;
  CreatureId next_id_ = 1;
  std::size_t removed_kept_ = 0;
  std::vector<std::unique_ptr<StatusComponentRecord>> status_components_;
  std::vector<ActorRecord*> engine_actors_;
  std::vector<std::unique_ptr<ZoneRecord>> zones_;
  ClassRecord* zone_class_ = nullptr;
  ClassRecord* status_class_ = nullptr;
};

template <typename Forget>
void GameWorld::DropRemoved(Forget&& forget) {
  if (removed_kept_ == 0) return;
  const auto removed = [](const CreatureRecord& creature) {
    return creature.state == CreatureState::Removed;
  };
  status_components_.erase(
      std::remove_if(status_components_.begin(), status_components_.end(),
                     [&](const auto& status) { return removed(*status->owner); }),
      status_components_.end());
  for (const auto& creature : creatures_) {
    if (removed(*creature)) forget(*creature);
  }
  creatures_.erase(std::remove_if(creatures_.begin(), creatures_.end(),
                                  [&](const auto& creature) { return removed(*creature); }),
                   creatures_.end());
  removed_kept_ = 0;
}

}  // namespace devserver
