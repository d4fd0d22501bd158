#include "spawn_control/spawn_gate.h"

#include "plugin/contained.h"
#include "spawn_control/admission.h"
#include "spawn_control/dino_counts.h"
#include "spawn_control/tags.h"

game_signatures::SpawnNPC* ANPCZoneManager_SpawnNPC_original = nullptr;

namespace {

// Seconds a rejected creature lives before it is removed.
constexpr int kRemovalDelay = 5;

void RemoveIfStillThere(const TWeakObjectPtr<APrimalDinoCharacter>& weak) {
  UObject* object = game::ResolveWeak(&weak);
  if (object == nullptr) return;
  auto* dino = static_cast<APrimalDinoCharacter*>(object);
  // Never counted, so its removal must not be counted down.
  AddTag(dino, kIgnoreMark);
  game::Destroy(dino);
}

void RemoveLater(APrimalDinoCharacter* dino) {
  TWeakObjectPtr<APrimalDinoCharacter> weak;
  game::SetWeak(&weak, dino);
  API::Timer::Get().DelayExecuteInternal(
      [weak] { RunContained("a deferred removal", [&] { RemoveIfStillThere(weak); }); },
      kRemovalDelay);
}

bool Accepts(const FString& class_key, APrimalDinoCharacter* dino, FoundCount& found) {
  if (!HasRoom(class_key, &found)) return false;
  // The level is read only for a creature that has room; one without a status component has no
  // level to judge.
  UPrimalCharacterStatusComponent* status = game::StatusComponent(dino);
  return status == nullptr || !IsTooHighLevel(game::CharacterLevel(status));
}

void Admit(UClass* requested_class, APrimalDinoCharacter* dino) {
  // Keyed by the class the zone asked for, not the class that was made.
  const FString class_key = MakeClassKey(requested_class);
  FoundCount found;
  if (Accepts(class_key, dino, found)) {
    AddTag(dino, kCountedMark);
    CountUp(class_key, found);
  } else {
    RemoveLater(dino);
  }
}

}  // namespace

APrimalDinoCharacter* Hook_ANPCZoneManager_SpawnNPC(ANPCZoneManager* zone,
                                                    TSubclassOf<APrimalDinoCharacter> dino_class,
                                                    FVector location, bool a4, int32_t a5, float a6,
                                                    bool a7, float a8, float a9, float a10,
                                                    float a11,
                                                    TSubclassOf<UPrimalColorSet> colour_set) {
  APrimalDinoCharacter* dino = ANPCZoneManager_SpawnNPC_original(
      zone, dino_class, location, a4, a5, a6, a7, a8, a9, a10, a11, colour_set);
  if (dino_class.uClass == nullptr || dino == nullptr) return dino;
  RunContained("the spawn gate", [&] { Admit(dino_class.uClass, dino); });
  return dino;
}
