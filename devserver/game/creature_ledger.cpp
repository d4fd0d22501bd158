#include "devserver/game/creature_ledger.h"

#include <algorithm>

#include "devserver/server_state.h"

namespace devserver {

namespace {

constexpr const char* kCountedMark = "SpawnedFromNPCZone";
constexpr const char* kIgnoreMark = "IgnoreControlDino";

int32_t TagCount(Server& server, const CreatureRecord& creature, const char* tag) {
  const FName name = server.names.Make(tag, 0, false, false);
  if (name == FName{} || creature.tags.Data == nullptr) return 0;
  int32_t count = 0;
  for (int32_t i = 0; i < creature.tags.ArrayNum; ++i) count += creature.tags.Data[i] == name;
  return count;
}

bool WildNow(const CreatureRecord& creature) {
  return creature.state == CreatureState::Alive && !creature.tamed &&
         creature.targeting_team <= 50000;
}

bool Detoured(Server& server, Detourable function) {
  const HookSlot& slot = server.hooks.Slot(function);
  return slot.current != slot.own;
}

}  // namespace

CreatureLedger::Life& CreatureLedger::Of(const CreatureRecord& creature) {
  const auto [entry, added] = lives_.try_emplace(creature.id);
  if (added) entry->second.alive = creature.state == CreatureState::Alive;
  return entry->second;
}

const CreatureLedger::Life* CreatureLedger::Find(CreatureId id) const {
  const auto found = lives_.find(id);
  return found == lives_.end() ? nullptr : &found->second;
}

int32_t CreatureLedger::ClassOf(const CreatureRecord& creature) {
  auto [entry, added] =
      class_index_.try_emplace(creature.reference, static_cast<int32_t>(classes_.size()));
  if (added) {
    ClassLedger ledger;
    ledger.reference = creature.reference;
    ledger.key = ClassKeyOf(creature.reference);
    classes_.push_back(std::move(ledger));
    awaiting_live_.push_back(0);
    counted_gone_.push_back(0);
  }
  return entry->second;
}

void CreatureLedger::Tally(const Life& life, int sign) {
  if (life.cls < 0) return;
  ClassLedger& ledger = classes_[life.cls];
  if (life.counted) {
    ledger.counted += sign;
    if (!life.alive) {
      ledger.counted_not_alive += sign;
    } else if (!life.wild) {
      ledger.counted_tamed += sign;
    }
  } else if (life.wild) {
    (life.awaiting_removal ? ledger.awaiting_removal : ledger.never_counted) += sign;
  }
}

template <typename Change>
void CreatureLedger::Update(Life& life, Change&& change) {
  Tally(life, -1);
  change();
  Tally(life, +1);
}

void CreatureLedger::NotePeaks(ClassLedger& ledger) {
  const int awaiting = awaiting_live_[&ledger - classes_.data()];
  ledger.peak = std::max(ledger.peak, ledger.live_wild - awaiting);
  ledger.peak_awaiting = std::max(ledger.peak_awaiting, awaiting);
}

void CreatureLedger::EnterWild(Life& life) {
  if (life.wild) return;
  life.wild = true;
  ClassLedger& ledger = classes_[life.cls];
  ++ledger.live_wild;
  if (life.awaiting_removal) ++awaiting_live_[life.cls];
  NotePeaks(ledger);
  if (life.zone >= 0) ++zone_live_[life.zone];
}

void CreatureLedger::LeaveWild(Life& life) {
  if (!life.wild) return;
  life.wild = false;
  --classes_[life.cls].live_wild;
  if (life.awaiting_removal) --awaiting_live_[life.cls];
  if (life.zone >= 0) --zone_live_[life.zone];
}

void CreatureLedger::SetAwaiting(Life& life, bool awaiting) {
  if (life.awaiting_removal == awaiting) return;
  life.awaiting_removal = awaiting;
  if (!life.wild || life.cls < 0) return;
  awaiting_live_[life.cls] += awaiting ? 1 : -1;
  NotePeaks(classes_[life.cls]);
}

void CreatureLedger::Spawned(Server& server, CreatureRecord& creature, int32_t zone) {
  ++events;
  Life& life = Of(creature);
  Update(life, [&] {
    life.cls = ClassOf(creature);
    life.zone = zone;
    ClassLedger& ledger = classes_[life.cls];
    ++ledger.spawned;
    life.over_level =
        level_rule_ && creature.status != nullptr && creature.status->level >= *level_rule_;
    if (TagCount(server, creature, kCountedMark) > 0) {
      ++ledger.admitted;
      life.counted = true;
    } else if (Detoured(server, Detourable::SpawnNPC)) {
      life.awaiting_removal = true;
    }
    if (WildNow(creature)) EnterWild(life);
  });
}

void CreatureLedger::Arrived(Server&, CreatureRecord& creature) {
  ++events;
  Life& life = Of(creature);
  Update(life, [&] {
    life.cls = ClassOf(creature);
    ++classes_[life.cls].arrivals;
    if (WildNow(creature)) EnterWild(life);
  });
}

bool CreatureLedger::CountedDown(Server& server, const CreatureRecord& creature, const Life& life,
                                 Detourable function) const {
  return life.counted && Detoured(server, function) &&
         TagCount(server, creature, kIgnoreMark) == 0 && creature.targeting_team <= 50000;
}

void CreatureLedger::Dying(Server& server, CreatureRecord& creature) {
  ++events;
  Life& life = Of(creature);
  Update(life, [&] {
    if (life.cls < 0) life.cls = ClassOf(creature);
    ++classes_[life.cls].deaths;
    if (CountedDown(server, creature, life, Detourable::Die)) life.counted = false;
    LeaveWild(life);
    life.alive = false;  // the game marks it dead right after
  });
}

void CreatureLedger::Leaving(Server& server, CreatureRecord& creature) {
  ++events;
  Life& life = Of(creature);
  Update(life, [&] {
    if (life.cls < 0) life.cls = ClassOf(creature);
    ClassLedger& ledger = classes_[life.cls];
    if (happening == Happening::PluginTask) {
      ++(life.over_level ? ledger.gate_level_removals : ledger.gate_limit_removals);
    } else if (happening == Happening::Startup) {
      ++ledger.sweep_removals;
    }
    if (CountedDown(server, creature, life, Detourable::Destroyed)) life.counted = false;
    LeaveWild(life);
    life.awaiting_removal = false;
    life.alive = false;  // the world removes it right after
  });
}

void CreatureLedger::Taming(CreatureRecord& creature) {
  ++events;
  Life& life = Of(creature);
  Update(life, [&] {
    if (life.cls < 0) life.cls = ClassOf(creature);
    ++classes_[life.cls].tames;
    LeaveWild(life);
    life.awaiting_removal = false;
  });
}

void CreatureLedger::ClearCountedGone() {
  for (std::size_t cls = 0; cls < classes_.size(); ++cls) {
    classes_[cls].counted -= counted_gone_[cls];
    classes_[cls].counted_not_alive -= counted_gone_[cls];
    counted_gone_[cls] = 0;
  }
}

void CreatureLedger::TableCleared() {
  ClearCountedGone();
  for (auto& entry : lives_) {
    // Named, not a structured binding: older compilers cannot capture a binding.
    Life& life = entry.second;
    Update(life, [&] { life.counted = false; });
  }
}

void CreatureLedger::PluginReleased() {
  // The table goes with the library, and the removals it still had queued are dropped.
  ClearCountedGone();
  for (auto& entry : lives_) {
    Life& life = entry.second;
    Update(life, [&] {
      life.counted = false;
      SetAwaiting(life, false);
    });
  }
}

void CreatureLedger::ForgetCreatures() {
  for (const auto& [id, life] : lives_) Forget(life);
  lives_.clear();
}

void CreatureLedger::Forget(CreatureId id) {
  const auto found = lives_.find(id);
  if (found == lives_.end()) return;
  Forget(found->second);
  lives_.erase(found);
}

void CreatureLedger::Forget(const Life& life) {
  // Removed without being counted down: the plug-in's table still holds it, so it stays among its
  // class's counted bodies or gone (its tally stays) until the table is cleared.
  if (life.counted && life.cls >= 0) ++counted_gone_[life.cls];
}

void CreatureLedger::BeginStartup(Server& server) {
  happening = Happening::Startup;
  for (const auto& creature : server.world.Creatures()) {
    Of(*creature).marks_before = TagCount(server, *creature, kCountedMark);
  }
}

void CreatureLedger::EndStartup(Server& server, bool swept) {
  happening = Happening::Game;
  if (!swept) return;
  // The sweep cleared the table and gave every creature it kept a counted mark.
  ClearCountedGone();
  for (const auto& creature : server.world.Creatures()) {
    Life& life = Of(*creature);
    Update(life, [&] {
      if (life.cls < 0) life.cls = ClassOf(*creature);
      life.counted = TagCount(server, *creature, kCountedMark) > life.marks_before;
      if (life.counted) SetAwaiting(life, false);
    });
  }
}

std::vector<CreatureId> CreatureLedger::LiveWild(const Server& server,
                                                 std::string_view reference) const {
  std::vector<CreatureId> ids;
  const auto cls = class_index_.find(std::string(reference));
  if (cls == class_index_.end()) return ids;
  for (const auto& creature : server.world.Creatures()) {
    const Life* life = Find(creature->id);
    if (life != nullptr && life->cls == cls->second && life->wild) ids.push_back(creature->id);
  }
  return ids;
}

std::vector<ClassLedger> CreatureLedger::Ledgers() const {
  std::vector<ClassLedger> ledgers = classes_;
  std::sort(ledgers.begin(), ledgers.end(),
            [](const ClassLedger& a, const ClassLedger& b) { return a.key < b.key; });
  return ledgers;
}

}  // namespace devserver
