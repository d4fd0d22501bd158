// The game's own functions on actors and creatures.

#include <string>

#include "devserver/fatal.h"
#include "devserver/game/creature_removal.h"
#include "devserver/game/game_own_functions.h"
#include "devserver/journal.h"

namespace devserver {

void RemoveCreature(Server& server, CreatureRecord& creature) {
  if (creature.state == CreatureState::Removed || creature.being_destroyed) return;
  creature.being_destroyed = true;
  server.ledger.Leaving(server, creature);
  // Tags the plug-in added before it asked for the removal come before the removal.
  server.tag_watch.SyncWatched(server.names);
  entry::Destroyed(AsEngine<APrimalDinoCharacter>(creature));
  server.tag_watch.SyncWatched(server.names);
  server.world.Remove(creature);
  creature.being_destroyed = false;
  RecordEventF("destroyed #{}", creature.id);
}

namespace {

// The game's damage event is opaque to everyone but the game; Die only passes it on.
FDamageEvent* DamageEvent() {
  alignas(16) static unsigned char storage[64] = {};
  return reinterpret_cast<FDamageEvent*>(storage);
}

}  // namespace

bool KillCreature(Server& server, CreatureRecord& creature) {
  const bool died =
      entry::Die(AsEngine<APrimalDinoCharacter>(creature), 1000.f, DamageEvent(), nullptr, nullptr);
  server.tag_watch.SyncWatched(server.names);
  return died;
}

bool TameCreature(Server& server, CreatureRecord& creature, int32_t team) {
  if (creature.state != CreatureState::Alive) return false;
  server.ledger.Taming(creature);
  creature.tamed = true;
  creature.targeting_team = team;
  RecordEventF("tamed #{}", creature.id);
  return true;
}

namespace own {

bool Die(APrimalDinoCharacter* creature, float, FDamageEvent*, AController*, AActor*) {
  if (creature == nullptr) return false;
  Server& server = RunningServer("APrimalDinoCharacter.Die");
  CreatureRecord& record = AsCreature(creature, "APrimalDinoCharacter.Die");
  if (record.state != CreatureState::Alive) return false;
  server.ledger.Dying(server, record);
  record.state = CreatureState::Dead;
  RecordEventF("died #{}", record.id);
  server.scheduler.QueueDecay(record.id, server.now + server.options.corpse_decay_seconds);
  return true;
}

void Destroyed(APrimalDinoCharacter* creature) {
  // The game's own clean-up has nothing to show; it only insists on a creature.
  if (creature != nullptr) AsCreature(creature, "APrimalDinoCharacter.Destroyed");
}

bool ActorDestroy(AActor* actor, bool, bool) {
  Server& server = RunningServer("AActor.Destroy");
  ActorRecord& record = AsActor(actor, "AActor.Destroy");
  if (record.kind != ObjectKind::Creature) {
    ProgrammingError("AActor.Destroy: only creatures leave the simulated world, not a " +
                     std::string(KindName(record.kind)));
  }
  RemoveCreature(server, static_cast<CreatureRecord&>(record));
  return true;
}

bool ActorHasTag(AActor* actor, FName tag) {
  const ActorRecord& record = AsActor(actor, "AActor.ActorHasTag");
  if (tag == FName{}) return false;  // "None" is never a tag
  for (const FName& present : record.tags) {
    if (present == tag) return true;
  }
  return false;
}

bool IsTamed(APrimalDinoCharacter* creature) {
  return AsCreature(creature, "APrimalDinoCharacter.BPIsTamed").tamed;
}

UPrimalCharacterStatusComponent* StatusComponent(APrimalCharacter* character) {
  CreatureRecord& record = AsCreature(character, "APrimalCharacter.GetCharacterStatusComponent");
  return record.status == nullptr ? nullptr
                                  : AsEngine<UPrimalCharacterStatusComponent>(*record.status);
}

int32_t CharacterLevel(UPrimalCharacterStatusComponent* status) {
  return AsStatusComponent(status, "UPrimalCharacterStatusComponent.GetCharacterLevel").level;
}

}  // namespace own
}  // namespace devserver
