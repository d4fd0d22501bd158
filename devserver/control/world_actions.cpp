// Control surface: what happens in the world, and what is in it.

#include <cmath>
#include <stdexcept>
#include <string>

#include "devserver/control/server.h"
#include "devserver/game/creature_removal.h"
#include "devserver/game/game_own_functions.h"
#include "devserver/game/text_units.h"
#include "devserver/host/plugin_calls.h"
#include "devserver/journal.h"
#include "devserver/server_state.h"
#include "host/text.h"

namespace devserver {

namespace {

constexpr FVector kSpawnLocation{1.5f, -2.25f, 3.125f};

std::string LevelText(const std::optional<int32_t>& level) {
  return level ? std::to_string(*level) : "none";
}

void RequireCount(int count) {
  if (count < 0) throw std::invalid_argument("a count of " + std::to_string(count) + " creatures");
}

CreatureInfo InfoOf(const Server& server, const CreatureRecord& creature) {
  CreatureInfo info;
  info.id = creature.id;
  info.reference = creature.reference;
  if (creature.status != nullptr) info.level = creature.status->level;
  info.team = creature.targeting_team;
  info.tamed = creature.tamed;
  info.state = creature.state;
  const EngineArray<FName>& tags = creature.tags;
  if (tags.Data != nullptr && tags.ArrayNum > 0 && tags.ArrayNum <= tags.ArrayMax) {
    for (const FName& tag : tags) info.tags.push_back(server.names.Display(tag).value_or("?"));
  }
  return info;
}

bool LiveWild(const CreatureRecord& creature) {
  return creature.state == CreatureState::Alive && !creature.tamed &&
         creature.targeting_team <= 50000;
}

std::string KeyOfCreature(const CreatureRecord& creature) {
  if (creature.class_field == nullptr) return {};
  return ClassKeyOf(reinterpret_cast<const ClassRecord*>(creature.class_field)->reference);
}

// Between two happenings nothing holds a removed creature's record: with the server told to forget
// them, the records go once they are as many as half the world (so that the cost stays linear).
void ForgetRemovedCreatures(Server& server) {
  if (!server.options.forget_removed) return;
  const std::size_t removed = server.world.RemovedKept();
  if (removed < 256 || removed * 2 < server.world.Creatures().size()) return;
  server.tag_watch.SyncWatched(server.names);
  // A record's tag array is given back to the engine allocator with it.
  server.world.DropRemoved(
      [&](const CreatureRecord& creature) { server.ledger.Forget(creature.id); });
}

}  // namespace

std::vector<CreatureId> Spawn(const SpawnRequest& request, int count) {
  Server& server = RunningServer("Spawn");
  RequireCount(count);
  ClassRecord* asked = request.null_class ? nullptr : &server.classes.Creature(request.reference);
  PendingSpawn pending;
  pending.level = request.level;
  pending.fail = request.fail;
  if (request.made_reference)
    pending.made_class = &server.classes.Creature(*request.made_reference);

  // Arguments that differ from each other and from zero, as in CallDie.
  const TSubclassOf<UPrimalColorSet> colours{
      AsEngine<UClass>(server.classes.Engine(EngineClass::ColourSet))};
  std::vector<CreatureId> made;
  for (int i = 0; i < count; ++i) {
    server.world.zone.pending = &pending;
    APrimalDinoCharacter* creature =
        entry::SpawnNPC(AsEngine<ANPCZoneManager>(server.world.zone),
                        TSubclassOf<APrimalDinoCharacter>{AsEngine<UClass>(asked)}, kSpawnLocation,
                        true, 7, 0.5f, true, 1.25f, 2.5f, 3.75f, 5.f, colours);
    server.world.zone.pending = nullptr;
    server.tag_watch.SyncWatched(server.names);
    if (creature != nullptr) {
      CreatureRecord& record = AsCreature(creature, "the result of ANPCZoneManager.SpawnNPC");
      server.ledger.Spawned(server, record, -1);
      server.zones.StartLife(server, record);
      made.push_back(record.id);
    }
  }
  return made;
}

std::vector<CreatureId> Place(const PlaceRequest& request, int count) {
  Server& server = RunningServer("Place");
  RequireCount(count);
  ClassRecord* cls = request.null_class ? nullptr : &server.classes.Creature(request.reference);
  const int32_t team = request.team.value_or(request.tamed ? kTamedTeam : kWildTeam);
  std::vector<CreatureId> placed;
  for (int i = 0; i < count; ++i) {
    CreatureRecord& creature =
        server.world.AddCreature(cls, request.reference, request.level, team, request.tamed);
    placed.push_back(creature.id);
    server.ledger.Arrived(server, creature);
    server.zones.StartLife(server, creature);
    RecordEventF("placed #{} {} level {} team {}{}", creature.id, request.reference,
                 LevelText(request.level), team, request.tamed ? " tamed" : "");
  }
  return placed;
}

bool Kill(CreatureId id) {
  Server& server = RunningServer("Kill");
  CreatureRecord* creature = server.world.Find(id);
  if (creature == nullptr || creature->state == CreatureState::Removed) return false;
  return KillCreature(server, *creature);
}

bool RefuseDeath(CreatureId id, bool refuses) {
  CreatureRecord* creature = RunningServer("RefuseDeath").world.Find(id);
  if (creature == nullptr) return false;
  creature->refuses_death = refuses;
  return true;
}

bool DieWithoutCreature() {
  Server& server = RunningServer("DieWithoutCreature");
  return CallDie(server, nullptr);
}

void DestroyedWithoutCreature() {
  RunningServer("DestroyedWithoutCreature");
  entry::Destroyed(nullptr);
}

void SetOddActorQuery(bool odd) { RunningServer("SetOddActorQuery").odd_actor_query = odd; }

bool Destroy(CreatureId id) {
  Server& server = RunningServer("Destroy");
  CreatureRecord* creature = server.world.Find(id);
  if (creature == nullptr || creature->state == CreatureState::Removed) return false;
  RemoveCreature(server, *creature);
  return true;
}

bool Tame(CreatureId id, std::optional<int32_t> team) {
  Server& server = RunningServer("Tame");
  CreatureRecord* creature = server.world.Find(id);
  return creature != nullptr && TameCreature(server, *creature, team.value_or(kTamedTeam));
}

void NewMap() {
  Server& server = RunningServer("NewMap");
  // Destroyed may make creatures of its own; a plain index walk sees those too.
  for (size_t i = 0; i < server.world.Creatures().size(); ++i) {
    RemoveCreature(server, *server.world.Creatures()[i]);
  }
  server.tag_watch.SyncAll(server.world, server.names);
  server.ledger.ForgetCreatures();
  server.zones.NewMap();
  server.scheduler.DropDecays();
  server.world.ForgetCreatures();
}

void CheatDestroyWildDinos() {
  Server& server = RunningServer("CheatDestroyWildDinos");
  const HookSlot& cheat = server.hooks.Slot(Detourable::DestroyWildDinos);
  // The plug-in's detour empties its table before the game's cheat runs.
  if (cheat.current != cheat.own) server.ledger.TableCleared();
  entry::DestroyWildDinos(AsEngine<UShooterCheatManager>(server.world.cheat_manager));
  server.tag_watch.SyncAll(server.world, server.names);
}

void Advance(double seconds) {
  Server& server = RunningServer("Advance");
  if (!std::isfinite(seconds) || seconds < 0) {
    throw std::invalid_argument("the clock only moves forward, by a number of seconds");
  }
  const double until = server.now + seconds;
  while (true) {
    ForgetRemovedCreatures(server);
    auto item = server.scheduler.TakeDue(until);
    if (!item) break;
    if (item->due > server.now) server.now = item->due;
    if (item->game_task) {
      item->game_task();
    } else if (item->task) {
      RecordEvent("timer ran");
      if (item->from_plugin) server.ledger.happening = Happening::PluginTask;
      CallIntoPlugin<void>("a timer task", item->task);
      server.ledger.happening = Happening::Game;
      server.tag_watch.SyncWatched(server.names);
    } else if (CreatureRecord* body = server.world.Find(item->decaying);
               body != nullptr && body->state == CreatureState::Dead) {
      RemoveCreature(server, *body);
    }
  }
  server.now = until;
}

double Now() { return RunningServer("Now").now; }

std::vector<CreatureInfo> ListCreatures(std::string_view reference) {
  const Server& server = RunningServer("ListCreatures");
  std::vector<CreatureInfo> list;
  for (const auto& creature : server.world.Creatures()) {
    if (reference.empty() || creature->reference == reference) {
      list.push_back(InfoOf(server, *creature));
    }
  }
  return list;
}

std::optional<CreatureInfo> FindCreature(CreatureId id) {
  Server& server = RunningServer("FindCreature");
  const CreatureRecord* creature = server.world.Find(id);
  if (creature == nullptr) return std::nullopt;
  return InfoOf(server, *creature);
}

std::map<std::string, int> Census() {
  const Server& server = RunningServer("Census");
  std::map<std::string, int> census;
  for (const auto& creature : server.world.Creatures()) {
    if (LiveWild(*creature)) ++census[KeyOfCreature(*creature)];
  }
  return census;
}

std::vector<std::pair<std::string, int>> CensusInKeyOrder() {
  const Server& server = RunningServer("CensusInKeyOrder");
  // The plug-in's own key order, from the same helper it uses.
  std::map<FString, std::pair<std::string, int>, IgnoringCaseLess> merged;
  for (const auto& creature : server.world.Creatures()) {
    if (!LiveWild(*creature)) continue;
    std::string key = KeyOfCreature(*creature);
    FString engine_key;
    engine_key.AppendUnits(Utf8ToUtf16(key));
    auto [entry, added] = merged.try_emplace(std::move(engine_key), std::move(key), 0);
    ++entry->second.second;
  }
  std::vector<std::pair<std::string, int>> census;
  for (auto& [key, spelled_and_count] : merged) census.push_back(std::move(spelled_and_count));
  return census;
}

std::string ClassKeyOf(std::string_view reference) {
  const std::u16string units = Utf8ToUtf16(reference);
  const std::size_t kept = units.size() >= 2 ? units.size() - 2 : 0;
  return "Blueprint'" + ToUtf8(std::u16string_view(units).substr(0, kept)) + "'";
}

APrimalDinoCharacter* CreatureObject(CreatureId id) {
  CreatureRecord* creature = RunningServer("CreatureObject").world.Find(id);
  return creature == nullptr ? nullptr : AsEngine<APrimalDinoCharacter>(*creature);
}

UClass* CreatureClass(std::string_view reference) {
  return AsEngine<UClass>(RunningServer("CreatureClass").classes.Creature(reference));
}

UWorld* World() { return AsEngine<UWorld>(RunningServer("World").world.world_object); }

ANPCZoneManager* DefaultZone() {
  return AsEngine<ANPCZoneManager>(RunningServer("DefaultZone").world.zone);
}

UShooterCheatManager* CheatManager() {
  return AsEngine<UShooterCheatManager>(RunningServer("CheatManager").world.cheat_manager);
}

}  // namespace devserver
