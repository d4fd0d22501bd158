#include "spawn_control/removal_tracking.h"

#include "plugin/contained.h"
#include "spawn_control/dino_counts.h"
#include "spawn_control/tags.h"

game_signatures::Die* APrimalDinoCharacter_Die_original = nullptr;
game_signatures::Destroyed* APrimalDinoCharacter_Destroyed_original = nullptr;
game_signatures::DestroyWildDinos* UShooterCheatManager_DestroyWildDinos_original = nullptr;

namespace {

// Counted, not yet counted down, and still wild (a creature tamed since it was counted stays
// counted).
bool ShouldCountDown(APrimalDinoCharacter* dino) {
  return HasTag(dino, kCountedMark) && !HasTag(dino, kIgnoreMark) && IsWild(dino);
}

void CountDownOwnClass(APrimalDinoCharacter* dino) {
  CountDown(MakeClassKey(game::ObjectClass(dino)));
}

}  // namespace

bool Hook_APrimalDinoCharacter_Die(APrimalDinoCharacter* dino, float killing_damage,
                                   FDamageEvent* damage_event, AController* killer,
                                   AActor* damage_causer) {
  const bool died =
      APrimalDinoCharacter_Die_original(dino, killing_damage, damage_event, killer, damage_causer);
  if (dino == nullptr || !died) return died;
  RunContained("the death of a creature", [&] {
    if (!ShouldCountDown(dino)) return;
    CountDownOwnClass(dino);
    // The body's later removal must not count it down again.
    AddTag(dino, kIgnoreMark);
  });
  return died;
}

void Hook_APrimalDinoCharacter_Destroyed(APrimalDinoCharacter* dino) {
  if (dino != nullptr) {
    RunContained("the removal of a creature", [&] {
      if (ShouldCountDown(dino)) CountDownOwnClass(dino);
    });
  }
  APrimalDinoCharacter_Destroyed_original(dino);
}

void Hook_UShooterCheatManager_DestroyWildDinos(UShooterCheatManager* cheat_manager) {
  // Emptied first: the removals that follow count down from nothing. The first use of the table's
  // index may take memory; should emptying fail, the counts stay and the removals count them down.
  RunContained("the cheat that destroys the wild creatures", [] { ClearDinoCounts(); });
  UShooterCheatManager_DestroyWildDinos_original(cheat_manager);
}
