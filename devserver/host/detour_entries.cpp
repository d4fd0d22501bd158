// The detourable functions as the game calls them: through their slot in the hook table, so that
// the current detour (or the game's own function) runs.

#include "devserver/game/game_own_functions.h"
#include "devserver/server_state.h"
#include "host/game_functions.h"

namespace devserver::entry {

namespace {
HookSlot& SlotOf(Detourable function, const char* name) {
  return RunningServer(name).hooks.Slot(function);
}
}  // namespace

void InitGame(AShooterGameMode* game_mode, FString* map_name, FString* options,
              FString* error_message) {
  Hooked<game_signatures::InitGame>::Call(SlotOf(Detourable::InitGame, "AShooterGameMode.InitGame"),
                                          game_mode, map_name, options, error_message);
}

bool Die(APrimalDinoCharacter* creature, float killing_damage, FDamageEvent* damage_event,
         AController* killer, AActor* damage_causer) {
  return Hooked<game_signatures::Die>::Call(SlotOf(Detourable::Die, "APrimalDinoCharacter.Die"),
                                            creature, killing_damage, damage_event, killer,
                                            damage_causer);
}

void Destroyed(APrimalDinoCharacter* creature) {
  Hooked<game_signatures::Destroyed>::Call(
      SlotOf(Detourable::Destroyed, "APrimalDinoCharacter.Destroyed"), creature);
}

void DestroyWildDinos(UShooterCheatManager* cheat_manager) {
  Hooked<game_signatures::DestroyWildDinos>::Call(
      SlotOf(Detourable::DestroyWildDinos, "UShooterCheatManager.DestroyWildDinos"), cheat_manager);
}

APrimalDinoCharacter* SpawnNPC(ANPCZoneManager* zone, TSubclassOf<APrimalDinoCharacter> dino_class,
                               FVector location, bool a4, int32_t a5, float a6, bool a7, float a8,
                               float a9, float a10, float a11,
                               TSubclassOf<UPrimalColorSet> colour_set) {
  return Hooked<game_signatures::SpawnNPC>::Call(
      SlotOf(Detourable::SpawnNPC, "ANPCZoneManager.SpawnNPC"), zone, dino_class, location, a4, a5,
      a6, a7, a8, a9, a10, a11, colour_set);
}

}  // namespace devserver::entry
