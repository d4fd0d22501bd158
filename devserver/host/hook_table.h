#pragma once

// The host's detour table: for each detourable game function, the function the game calls now and
// the chain of detours in front of the game's own. The game calls these functions only through
// their slot (Hooked<...>::Call), never by name.

#include <array>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "devserver/host/plugin_calls.h"
#include "host/api.h"

namespace devserver {

enum class Detourable { InitGame, Die, Destroyed, DestroyWildDinos, SpawnNPC };
inline constexpr std::size_t kDetourableCount = 5;

struct HookSlot {
  struct Link {
    void* detour;
    void** original;   // the detour's trampoline slot, in its owner's memory
    bool from_plugin;  // set while plug-in code ran: goes when the plug-in is released
  };

  std::string_view name;
  void* own = nullptr;      // the game's own function
  void* current = nullptr;  // what the game calls: the top detour, or the game's own
  std::string where;        // names a call through the slot in a fault
  std::vector<Link> chain;  // bottom (nearest the game's own) to top
};

class HookTable final : public ArkApi::IHooks {
 public:
  HookTable();

  bool DisableHook(const std::string& func_name, void* detour) override;
  bool SetHook(const std::string& func_name, void* detour, void** original) override;

  HookSlot& Slot(Detourable function) { return slots_[static_cast<std::size_t>(function)]; }
  // One name per detour in the chains, slot by slot, bottom to top.
  std::vector<std::string> Installed() const;
  // After the plug-in's release: takes its detours out without touching its (unmapped) memory and
  // returns the name of each one taken out.
  std::vector<std::string> DropPluginDetours();

 private:
  HookSlot* Find(std::string_view name);
  static void Relink(HookSlot& slot);

  std::array<HookSlot, kDetourableCount> slots_;
  std::unordered_map<std::string_view, HookSlot*> by_name_;
};

template <typename Signature>
struct Hooked;

// Calls a detourable function the way the game does: through its slot. When the slot holds a
// detour, the call is a call into plug-in code.
template <typename Result, typename... Params>
struct Hooked<Result(Params...)> {
  static Result Call(const HookSlot& slot, Params... params) {
    auto* function = reinterpret_cast<Result (*)(Params...)>(slot.current);
    if (slot.current == slot.own) return function(params...);
    return CallIntoPlugin<Result>(slot.where, [&]() -> Result { return function(params...); });
  }
};

}  // namespace devserver
