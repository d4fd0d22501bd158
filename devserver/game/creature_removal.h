#pragma once

#include "devserver/server_state.h"

namespace devserver {

// A creature leaves the world, dead or alive: "APrimalDinoCharacter.Destroyed" runs through the
// hook table while the creature is still reachable, then it becomes unreachable. Removing a
// creature that is gone or already on its way out does nothing.
void RemoveCreature(Server& server, CreatureRecord& creature);

}  // namespace devserver
