#include "devserver/game/world.h"

#include <algorithm>
#include <string>

#include "devserver/fatal.h"

namespace devserver {

GameWorld::GameWorld(ObjectTable& objects, ClassRegistry& classes) : objects_(objects) {
  const auto place = [&](ObjectRecord& object, EngineClass cls) {
    object.class_field = AsEngine<UClass>(classes.Engine(cls));
    objects_.Register(object);
  };
  place(world_object, EngineClass::World);
  place(game_mode, EngineClass::GameMode);
  place(zone, EngineClass::Zone);
  place(player_controller, EngineClass::PlayerController);
  place(cheat_manager, EngineClass::CheatManager);
  place(rcon_connection, EngineClass::RconConnection);
  engine_actors_ = {&game_mode, &zone, &player_controller};
  status_class_ = &classes.Engine(EngineClass::StatusComponent);
  zone_class_ = &classes.Engine(EngineClass::Zone);
}

ZoneRecord& GameWorld::AddZone() {
  auto zone = std::make_unique<ZoneRecord>();
  zone->class_field = AsEngine<UClass>(zone_class_);
  objects_.Register(*zone);
  engine_actors_.push_back(zone.get());
  zones_.push_back(std::move(zone));
  return *zones_.back();
}

CreatureRecord& GameWorld::AddCreature(ClassRecord* cls, std::string reference,
                                       std::optional<int32_t> level, int32_t team, bool tamed) {
  auto creature = std::make_unique<CreatureRecord>();
  creature->class_field = AsEngine<UClass>(cls);
  creature->id = next_id_++;
  creature->reference = std::move(reference);
  creature->targeting_team = team;
  creature->tamed = tamed;
  objects_.Register(*creature);
  if (level) {
    auto status = std::make_unique<StatusComponentRecord>();
    status->class_field = AsEngine<UClass>(status_class_);
    status->level = *level;
    status->owner = creature.get();
    objects_.Register(*status);
    creature->status = status.get();
    status_components_.push_back(std::move(status));
  }
  creatures_.push_back(std::move(creature));
  return *creatures_.back();
}

void GameWorld::Remove(CreatureRecord& creature) {
  if (creature.state != CreatureState::Removed) ++removed_kept_;
  creature.state = CreatureState::Removed;
  objects_.Unregister(creature);
  if (creature.status != nullptr) objects_.Unregister(*creature.status);
}

void GameWorld::ForgetCreatures() {
  for (const auto& creature : creatures_) {
    if (creature->state != CreatureState::Removed) {
      ProgrammingError("ForgetCreatures: creature #" + std::to_string(creature->id) +
                       " is still in the world");
    }
  }
  creatures_.clear();
  status_components_.clear();
  next_id_ = 1;
  removed_kept_ = 0;
}

CreatureRecord* GameWorld::Find(CreatureId id) {
  // Records are kept in id order; with none dropped, a creature's index is its id less one.
  if (id == 0 || id >= next_id_) return nullptr;
  if (id <= creatures_.size() && creatures_[id - 1]->id == id) return creatures_[id - 1].get();
  const auto found = std::lower_bound(creatures_.begin(), creatures_.end(), id,
                                      [](const std::unique_ptr<CreatureRecord>& creature,
                                         CreatureId wanted) { return creature->id < wanted; });
  return found != creatures_.end() && (*found)->id == id ? found->get() : nullptr;
}

}  // namespace devserver
