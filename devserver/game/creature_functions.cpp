// The game's own functions on actors and creatures.

#include <string>

#include "devserver/fatal.h"
#include "devserver/game/creature_removal.h"
#include "devserver/game/engine_allocator.h"
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

bool CallDie(Server& server, APrimalDinoCharacter* creature) {
  return entry::Die(creature, 1000.f, TheDamageEvent(),
                    AsEngine<AController>(server.world.player_controller),
                    AsEngine<AActor>(server.world.zone));
}

bool KillCreature(Server& server, CreatureRecord& creature) {
  const bool died = CallDie(server, AsEngine<APrimalDinoCharacter>(creature));
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

bool Die(APrimalDinoCharacter* creature, float killing_damage, FDamageEvent* damage_event,
         AController* killer, AActor* damage_causer) {
  const engine_allocator::GameAllocationScope own_memory;
  Server& server = RunningServer("APrimalDinoCharacter.Die");
  if (TheJournal().record_events) {
    RecordGameCallF("Die {} damage {} {} killer {} causer {}", ObjectText(creature), killing_damage,
                    DamageEventText(damage_event), ObjectText(killer), ObjectText(damage_causer));
  }
  if (creature == nullptr) return false;
  CreatureRecord& record = AsCreature(creature, "APrimalDinoCharacter.Die");
  if (record.state != CreatureState::Alive) return false;
  if (record.refuses_death) {
    RecordEventF("survived #{}", record.id);
    return false;
  }
  server.ledger.Dying(server, record);
  record.state = CreatureState::Dead;
  RecordEventF("died #{}", record.id);
  server.scheduler.QueueDecay(record.id, server.now + server.options.corpse_decay_seconds);
  return true;
}

void Destroyed(APrimalDinoCharacter* creature) {
  RunningServer("APrimalDinoCharacter.Destroyed");
  // The game's own clean-up has nothing else to show; it only insists on a creature.
  if (creature != nullptr) AsCreature(creature, "APrimalDinoCharacter.Destroyed");
  if (TheJournal().record_events) RecordGameCallF("Destroyed {}", ObjectText(creature));
}

bool ActorDestroy(AActor* actor, bool, bool) {
  const engine_allocator::GameAllocationScope own_memory;
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
  const StatusComponentRecord& record =
      AsStatusComponent(status, "UPrimalCharacterStatusComponent.GetCharacterLevel");
  if (TheJournal().record_events) RecordGameCallF("GetCharacterLevel {}", ObjectText(record.owner));
  return record.level;
}

}  // namespace own
}  // namespace devserver
