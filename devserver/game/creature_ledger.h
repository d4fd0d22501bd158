#pragma once

// The world's own account of its creatures: which class and zone each belongs to, how many of each
// class live wild, what happened to them, and which of them the plug-in must be counting, worked
// out from what the world can see (tags, detours in place, when removals happen). The game's
// functions report to it; the spawn zones read it.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "devserver/control/server.h"
#include "devserver/game/game_objects.h"
#include "devserver/host/hook_table.h"

namespace devserver {

struct Server;

// What is going on while a creature is removed.
enum class Happening { Game, PluginTask, Startup };

class CreatureLedger {
 public:
  struct Life {
    int32_t cls = -1;   // index into the classes
    int32_t zone = -1;  // the spawn zone that keeps it, -1: none
    bool wild = false;  // counted among the live wild of its class and zone
    bool counted = false;
    bool awaiting_removal = false;
    bool over_level = false;  // the level rule in force at its spawn removes it
    bool alive = true;        // neither dead nor removed
    int32_t marks_before = 0;
  };

  void SetLevelRule(std::optional<int32_t> max_level) { level_rule_ = max_level; }

  // A spawn zone's spawn returned this creature (zone -1: the default zone).
  void Spawned(Server& server, CreatureRecord& creature, int32_t zone);
  void Arrived(Server& server, CreatureRecord& creature);
  // Before the game's own death, removal or taming changes the creature.
  void Dying(Server& server, CreatureRecord& creature);
  void Leaving(Server& server, CreatureRecord& creature);
  void Taming(CreatureRecord& creature);
  void TableCleared();
  // Around the plug-in's load and the game mode's initialisation: `swept` says whether the
  // plug-in's sweep ran. (A load without a sweep starts from an empty table, as the release of the
  // library before it left the ledger.)
  void BeginStartup(Server& server);
  void EndStartup(Server& server, bool swept);
  void PluginReleased();
  // Every creature has left the world and is forgotten (a new map): their lives go with them.
  void ForgetCreatures();
  // A removed creature's record is dropped: its life goes with it (the class totals stay, and a
  // creature the plug-in still counts stays among its class's counted bodies or gone).
  void Forget(CreatureId id);

  Happening happening = Happening::Game;
  uint64_t events = 0;

  int LiveWildInZone(int32_t zone) const { return zone < 0 ? 0 : zone_live_[zone]; }
  void AddZone() { zone_live_.push_back(0); }
  const Life* Find(CreatureId id) const;
  // The live wild creatures of a class, in world order.
  std::vector<CreatureId> LiveWild(const Server& server, std::string_view reference) const;
  // Kept as the lives change, so that asking costs the classes, not the creatures.
  std::vector<ClassLedger> Ledgers() const;

 private:
  Life& Of(const CreatureRecord& creature);
  // Changes a life through `change`, keeping its class's tallies of the plug-in's count
  // (counted, counted_tamed, counted_not_alive, awaiting_removal, never_counted) in step.
  template <typename Change>
  void Update(Life& life, Change&& change);
  void Tally(const Life& life, int sign);
  void Forget(const Life& life);
  int32_t ClassOf(const CreatureRecord& creature);
  void EnterWild(Life& life);
  void LeaveWild(Life& life);
  // Whether the gate's removal is still due; the class's counts follow while the creature is wild.
  void SetAwaiting(Life& life, bool awaiting);
  void NotePeaks(ClassLedger& ledger);
  // Whether the plug-in's detour would count this creature down now.
  bool CountedDown(Server& server, const CreatureRecord& creature, const Life& life,
                   Detourable function) const;

  std::optional<int32_t> level_rule_;
  std::unordered_map<CreatureId, Life> lives_;
  std::vector<ClassLedger> classes_;
  std::vector<int> awaiting_live_;  // per class: live wild creatures awaiting the gate's removal
  // Per class: forgotten creatures that the plug-in still counts, until its table is cleared.
  std::vector<int> counted_gone_;
  void ClearCountedGone();
  std::unordered_map<std::string, int32_t> class_index_;  // by reference text
  std::vector<int> zone_live_;
};

}  // namespace devserver
