#pragma once

// Tags that the plug-in appends go straight into a creature's tag array, unseen by the game. They
// are found at sync points and recorded as "tag #ID NAME" events, in the order they were added. A
// creature whose tag array was reached through GetAddress is watched until the next sync point, so
// that the frequent sync points (after a spawn, a death, a removal, a timer task) cost only as much
// as the plug-in touched; the rare ones (load, game-mode initialisation, commands) look at every
// creature. Every event is a sync point for the watched creatures, so tag events keep their place
// among the others.

#include <vector>

#include "devserver/game/game_objects.h"
#include "devserver/game/name_table.h"

namespace devserver {

class GameWorld;

class TagWatch {
 public:
  void Watch(CreatureRecord& creature);
  void SyncWatched(const NameTable& names);
  void SyncAll(GameWorld& world, const NameTable& names);

 private:
  static void Sync(CreatureRecord& creature, const NameTable& names);

  std::vector<CreatureRecord*> watched_;
  bool syncing_ = false;  // a tag event recorded while syncing must not start another sync
};

}  // namespace devserver
