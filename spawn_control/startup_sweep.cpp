#include "spawn_control/startup_sweep.h"

#include "host/game_functions.h"
#include "spawn_control/admission.h"
#include "spawn_control/dino_counts.h"
#include "spawn_control/tags.h"

namespace {

bool IsWildCreature(AActor* actor) {
  if (actor == nullptr) return false;
  if (!game::IsA(actor, game::DinoStaticClass())) return false;
  auto* dino = static_cast<APrimalDinoCharacter*>(actor);
  return !game::IsTamed(dino) && IsWild(dino);
}

}  // namespace

void InitDinoCounts() {
  ClearDinoCounts();
  UClass* dino_class = game::DinoStaticClass();
  UWorld* world = ArkApi::GetApiUtils().GetWorld();
  EngineArray<AActor*> actors;
  game::GetAllActorsOfClass(world, dino_class, &actors);
  // In array order: within a class the first creatures stay, as many as the limit allows.
  for (AActor* actor : actors) {
    if (!IsWildCreature(actor)) continue;
    const FString class_key = MakeClassKey(game::ObjectClass(actor));
    FoundCount found;
    if (HasRoom(class_key, &found)) {
      CountUp(class_key, found);
      AddTag(actor, kCountedMark);
    } else {
      AddTag(actor, kIgnoreMark);
      game::Destroy(actor);
    }
  }
}
