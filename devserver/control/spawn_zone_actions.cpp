// Control surface: the spawn zones, the world's own life, and the world's ledger.

#include <algorithm>
#include <stdexcept>

#include "devserver/control/server.h"
#include "devserver/game/creature_removal.h"
#include "devserver/server_state.h"

namespace devserver {

namespace {

// Up to `count` live wild creatures of the class, drawn at random without repeats.
std::vector<CreatureRecord*> DrawLiveWild(Server& server, const std::string& reference, int count) {
  if (count < 0) throw std::invalid_argument("a count of " + std::to_string(count) + " creatures");
  std::vector<CreatureId> ids = server.ledger.LiveWild(server, reference);
  std::vector<CreatureRecord*> drawn;
  for (int i = 0; i < count && !ids.empty(); ++i) {
    const auto pick = static_cast<std::size_t>(
        server.zones.Random().Between(0, static_cast<int64_t>(ids.size()) - 1));
    drawn.push_back(server.world.Find(ids[pick]));
    ids.erase(ids.begin() + static_cast<std::ptrdiff_t>(pick));
  }
  return drawn;
}

}  // namespace

void SeedWorld(uint64_t seed) { RunningServer("SeedWorld").zones.Seed(seed); }

int64_t WorldRandomBetween(int64_t low, int64_t high) {
  return RunningServer("WorldRandomBetween").zones.Random().Between(low, high);
}

void SetClassLife(const std::string& reference, const ClassLife& life) {
  RunningServer("SetClassLife").zones.SetLife(reference, life);
}

void AddSpawnZone(const ZoneSpec& zone) {
  Server& server = RunningServer("AddSpawnZone");
  server.zones.Add(server, zone);
}

void SetLevelRuleInForce(std::optional<int32_t> max_level) {
  RunningServer("SetLevelRuleInForce").ledger.SetLevelRule(max_level);
}

std::vector<ClassLedger> ClassLedgers() {
  const Server& server = RunningServer("ClassLedgers");
  return server.ledger.Ledgers();
}

int TameWild(const std::string& reference, int count) {
  Server& server = RunningServer("TameWild");
  int tamed = 0;
  for (CreatureRecord* creature : DrawLiveWild(server, reference, count)) {
    tamed += TameCreature(server, *creature, kTamedTeam);
  }
  return tamed;
}

int KillWild(const std::string& reference, int count) {
  Server& server = RunningServer("KillWild");
  int killed = 0;
  for (CreatureRecord* creature : DrawLiveWild(server, reference, count)) {
    killed += KillCreature(server, *creature);
  }
  return killed;
}

uint64_t WorldEventCount() { return RunningServer("WorldEventCount").ledger.events; }

}  // namespace devserver
