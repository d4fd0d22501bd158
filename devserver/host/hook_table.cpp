#include "devserver/host/hook_table.h"

#include <algorithm>

#include "devserver/game/game_own_functions.h"
#include "devserver/journal.h"
#include "devserver/server_state.h"

namespace devserver {

HookTable::HookTable() {
  const std::array<std::pair<std::string_view, void*>, kDetourableCount> functions = {{
      {"AShooterGameMode.InitGame", reinterpret_cast<void*>(&own::InitGame)},
      {"APrimalDinoCharacter.Die", reinterpret_cast<void*>(&own::Die)},
      {"APrimalDinoCharacter.Destroyed", reinterpret_cast<void*>(&own::Destroyed)},
      {"UShooterCheatManager.DestroyWildDinos", reinterpret_cast<void*>(&own::DestroyWildDinos)},
      {"ANPCZoneManager.SpawnNPC", reinterpret_cast<void*>(&own::SpawnNPC)},
  }};
  for (std::size_t i = 0; i < kDetourableCount; ++i) {
    HookSlot& slot = slots_[i];
    slot.name = functions[i].first;
    slot.own = functions[i].second;
    slot.current = slot.own;
    slot.where = "the detour of " + std::string(slot.name);
    slot.chain.reserve(4);
    by_name_.emplace(slot.name, &slot);
  }
}

HookSlot* HookTable::Find(std::string_view name) {
  const auto found = by_name_.find(name);
  return found == by_name_.end() ? nullptr : found->second;
}

bool HookTable::SetHook(const std::string& func_name, void* detour, void** original) {
  HookSlot* slot = Find(func_name);
  const bool twice = slot != nullptr &&
                     std::any_of(slot->chain.begin(), slot->chain.end(),
                                 [&](const HookSlot::Link& link) { return link.detour == detour; });
  // The same detour twice would call itself through its own trampoline forever.
  if (slot == nullptr || detour == nullptr || original == nullptr || twice) {
    RecordEventF("hook refused {}", func_name);
    return false;
  }
  *original = slot->current;
  slot->chain.push_back({detour, original, InPluginCode()});
  slot->current = detour;
  RecordEventF("hook set {}", func_name);
  return true;
}

bool HookTable::DisableHook(const std::string& func_name, void* detour) {
  FailIfAsked("IHooks::DisableHook");
  HookSlot* slot = Find(func_name);
  if (slot == nullptr) {
    RecordEventF("hook absent {}", func_name);
    return false;
  }
  const auto link = std::find_if(slot->chain.begin(), slot->chain.end(),
                                 [&](const HookSlot::Link& l) { return l.detour == detour; });
  if (link == slot->chain.end()) {
    RecordEventF("hook absent {}", func_name);
    return false;
  }
  // The detour above the removed one now runs, through its trampoline, what the removed one ran.
  const auto position = link - slot->chain.begin();
  void* below = position == 0 ? slot->own : slot->chain[position - 1].detour;
  if (link + 1 != slot->chain.end()) *(link + 1)->original = below;
  slot->chain.erase(link);
  slot->current = slot->chain.empty() ? slot->own : slot->chain.back().detour;
  RecordEventF("hook removed {}", func_name);
  return true;
}

void HookTable::Relink(HookSlot& slot) {
  void* below = slot.own;
  for (HookSlot::Link& link : slot.chain) {
    *link.original = below;
    below = link.detour;
  }
  slot.current = below;
}

std::vector<std::string> HookTable::Installed() const {
  std::vector<std::string> names;
  for (const HookSlot& slot : slots_) {
    for (std::size_t i = 0; i < slot.chain.size(); ++i) names.emplace_back(slot.name);
  }
  return names;
}

std::vector<std::string> HookTable::DropPluginDetours() {
  std::vector<std::string> dropped;
  for (HookSlot& slot : slots_) {
    const auto kept = std::stable_partition(slot.chain.begin(), slot.chain.end(),
                                            [](const HookSlot::Link& l) { return !l.from_plugin; });
    if (kept == slot.chain.end()) continue;
    for (auto link = kept; link != slot.chain.end(); ++link) dropped.emplace_back(slot.name);
    slot.chain.erase(kept, slot.chain.end());
    // Only detours of code that is still loaded remain, so their slots may be written.
    Relink(slot);
  }
  return dropped;
}

}  // namespace devserver
