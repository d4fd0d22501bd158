#pragma once

#include "devserver/server_state.h"

namespace devserver {

// A creature leaves the world, dead or alive: "APrimalDinoCharacter.Destroyed" runs through the
// hook table while the creature is still reachable, then it becomes unreachable. Removing a
// creature that is gone or already on its way out does nothing.
void RemoveCreature(Server& server, CreatureRecord& creature);
// A death as the game has it: the administrator's controller kills with the zone's help. Every
// argument differs from the others and from a zeroed one, so that a detour that changes, swaps or
// drops one shows in the game's call record. `creature` may be null.
bool CallDie(Server& server, APrimalDinoCharacter* creature);
// The creature dies through "APrimalDinoCharacter.Die" as the hook table routes it; false when the
// game's Die said no (it was dead already).
bool KillCreature(Server& server, CreatureRecord& creature);
// A living creature is tamed and joins `team`; false for a body or a removed creature.
bool TameCreature(Server& server, CreatureRecord& creature, int32_t team);

}  // namespace devserver
