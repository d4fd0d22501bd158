#pragma once

// The world's spawn zones and the life of its wild creatures. A zone checks itself at its interval
// and, below its target, spawns the gap through the game's spawn function as the hook table routes
// it (so through any detour on it), each creature's class drawn from the zone's mix and its level
// from the zone's range. Wild creatures die or are tamed at their class's rate. All of it runs as
// game tasks on the game clock, and every draw comes from one generator.

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "devserver/control/server.h"
#include "devserver/game/game_objects.h"
#include "devserver/game/random_source.h"

namespace devserver {

struct Server;

class SpawnZones {
 public:
  void Seed(uint64_t seed) { random_.Seed(seed); }
  RandomSource& Random() { return random_; }

  void SetLife(const std::string& reference, const ClassLife& life);
  void Add(Server& server, const ZoneSpec& layout);
  // A creature entered the world wild: its end is drawn now, if its class has a death rate.
  void StartLife(Server& server, const CreatureRecord& creature);
  // The world forgot its creatures: ends drawn for them must not reach the new ones of their ids.
  void NewMap() { ++map_; }

 private:
  struct Zone {
    ZoneSpec layout;
    int32_t index = 0;
    ZoneRecord* record = nullptr;
    double total_weight = 0;
  };

  void Check(Server& server, Zone& zone);
  void EndLife(Server& server, CreatureId id, uint64_t map);

  RandomSource random_;
  std::vector<std::unique_ptr<Zone>> zones_;
  std::unordered_map<std::string, ClassLife> lives_;
  uint64_t map_ = 0;
};

}  // namespace devserver
