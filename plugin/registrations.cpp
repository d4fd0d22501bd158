#include "plugin/registrations.h"

#include "admin/dump_command.h"
#include "config/reload_command.h"
#include "plugin/plugin.h"
#include "spawn_control/removal_tracking.h"
#include "spawn_control/spawn_gate.h"

namespace {

// The detour and its trampoline slot must have the signature of the table entry E exactly.
template <typename E>
DetourRegistration Detour(typename E::Signature* detour, typename E::Signature** slot) {
  static_assert(game_abi::Listed<E>() && E::kUse == game_abi::Use::kDetoured,
                "a detoured game function is an entry of game_abi::kEntries");
  constexpr const char* name = E::kName.data();  // the literal itself, not the table's member
  return {name, reinterpret_cast<void*>(detour), reinterpret_cast<void**>(slot)};
}

}  // namespace

const std::array<DetourRegistration, 4>& LoadDetours() {
  static const std::array<DetourRegistration, 4> detours = {
      Detour<game_abi::InitGame>(&Hook_AShooterGameMode_InitGame,
                                 &AShooterGameMode_InitGame_original),
      Detour<game_abi::Die>(&Hook_APrimalDinoCharacter_Die, &APrimalDinoCharacter_Die_original),
      Detour<game_abi::Destroyed>(&Hook_APrimalDinoCharacter_Destroyed,
                                  &APrimalDinoCharacter_Destroyed_original),
      Detour<game_abi::DestroyWildDinos>(&Hook_UShooterCheatManager_DestroyWildDinos,
                                         &UShooterCheatManager_DestroyWildDinos_original),
  };
  return detours;
}

const DetourRegistration& SpawnGateDetour() {
  static const DetourRegistration gate = Detour<game_abi::SpawnNPC>(
      &Hook_ANPCZoneManager_SpawnNPC, &ANPCZoneManager_SpawnNPC_original);
  return gate;
}

const std::array<CommandRegistration, 4>& Commands() {
  static const std::array<CommandRegistration, 4> commands = {{
      {CommandRegistry::Console, "kvar.dumpdinos", &DumpDinosConsoleCmd, nullptr},
      {CommandRegistry::Rcon, "kvar.dumpdinos", nullptr, &DumpDinosRconCmd},
      {CommandRegistry::Rcon, "kvar.reload", nullptr, &ReloadConfigRconCmd},
      {CommandRegistry::Console, "kvar.reload", &ReloadConfigConsoleCmd, nullptr},
  }};
  return commands;
}
