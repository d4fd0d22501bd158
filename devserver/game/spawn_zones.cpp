#include "devserver/game/spawn_zones.h"

#include <cmath>
#include <stdexcept>

#include "devserver/game/creature_removal.h"
#include "devserver/game/game_own_functions.h"
#include "devserver/server_state.h"

namespace devserver {

namespace {

void Require(bool condition, const std::string& zone, const std::string& what) {
  if (!condition) throw std::invalid_argument("spawn zone \"" + zone + "\": " + what);
}

}  // namespace

void SpawnZones::SetLife(const std::string& reference, const ClassLife& life) {
  if (!(life.deaths_per_hour >= 0) || !std::isfinite(life.deaths_per_hour)) {
    throw std::invalid_argument("a death rate must be a number of deaths per hour, 0 or more");
  }
  if (!(life.tame_chance >= 0 && life.tame_chance <= 1)) {
    throw std::invalid_argument("a tame chance must be between 0 and 1");
  }
  lives_[reference] = life;
}

void SpawnZones::Add(Server& server, const ZoneSpec& layout) {
  Require(!layout.mix.empty(), layout.name, "its class mix is empty");
  auto zone = std::make_unique<Zone>();
  for (const auto& [reference, weight] : layout.mix) {
    Require(weight > 0 && std::isfinite(weight), layout.name,
            "the weight of a class must be above 0");
    server.classes.Creature(reference);  // a reference that names no creature class throws here
    zone->total_weight += weight;
  }
  Require(layout.target >= 0, layout.name, "its target must be 0 or more");
  Require(layout.check_seconds > 0 && std::isfinite(layout.check_seconds), layout.name,
          "its check interval must be above 0 seconds");
  Require(layout.min_level <= layout.max_level, layout.name,
          "its lowest level is above its highest");
  const double first_check =
      layout.first_check_seconds.value_or(std::floor(random_.Uniform() * layout.check_seconds));
  Require(first_check >= 0 && std::isfinite(first_check), layout.name,
          "its first check must be 0 seconds or more from now");
  zone->layout = layout;
  zone->index = static_cast<int32_t>(zones_.size());
  zone->record = &server.world.AddZone();
  server.ledger.AddZone();
  Zone* added = zone.get();
  zones_.push_back(std::move(zone));
  server.scheduler.QueueGameTask([this, added] { Check(*ActiveServer(), *added); },
                                 server.now + first_check);
}

void SpawnZones::Check(Server& server, Zone& zone) {
  ++server.ledger.events;
  const int gap = zone.layout.target - server.ledger.LiveWildInZone(zone.index);
  for (int i = 0; i < gap; ++i) {
    double pick = random_.Uniform() * zone.total_weight;
    const std::string* reference = &zone.layout.mix.back().first;
    for (const auto& [candidate, weight] : zone.layout.mix) {
      if (pick < weight) {
        reference = &candidate;
        break;
      }
      pick -= weight;
    }
    PendingSpawn pending;
    pending.level =
        static_cast<int32_t>(random_.Between(zone.layout.min_level, zone.layout.max_level));
    ClassRecord& cls = server.classes.Creature(*reference);
    zone.record->pending = &pending;
    APrimalDinoCharacter* made =
        entry::SpawnNPC(AsEngine<ANPCZoneManager>(*zone.record),
                        TSubclassOf<APrimalDinoCharacter>{AsEngine<UClass>(cls)}, FVector{}, false,
                        0, 0.f, false, 0.f, 0.f, 0.f, 0.f, TSubclassOf<UPrimalColorSet>{});
    zone.record->pending = nullptr;
    server.tag_watch.SyncWatched(server.names);
    if (made == nullptr) continue;
    CreatureRecord& creature = AsCreature(made, "the result of ANPCZoneManager.SpawnNPC");
    server.ledger.Spawned(server, creature, zone.index);
    StartLife(server, creature);
  }
  server.scheduler.QueueGameTask([this, &zone] { Check(*ActiveServer(), zone); },
                                 server.now + zone.layout.check_seconds);
}

void SpawnZones::StartLife(Server& server, const CreatureRecord& creature) {
  const auto life = lives_.find(creature.reference);
  if (life == lives_.end() || !(life->second.deaths_per_hour > 0)) return;
  const double wait = random_.Exponential(life->second.deaths_per_hour / 3600.0);
  const CreatureId id = creature.id;
  const uint64_t map = map_;
  server.scheduler.QueueGameTask([this, id, map] { EndLife(*ActiveServer(), id, map); },
                                 server.now + wait);
}

void SpawnZones::EndLife(Server& server, CreatureId id, uint64_t map) {
  if (map != map_) return;
  CreatureRecord* creature = server.world.Find(id);
  const CreatureLedger::Life* life = server.ledger.Find(id);
  if (creature == nullptr || life == nullptr || !life->wild) return;
  const ClassLife& rates = lives_[creature->reference];
  if (random_.Chance(rates.tame_chance)) {
    TameCreature(server, *creature, kTamedTeam);
  } else {
    KillCreature(server, *creature);
  }
}

}  // namespace devserver
