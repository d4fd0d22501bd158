#include "spawn_control/tags.h"

#include "host/game_functions.h"

void AddTag(AActor* actor, const char* tag) { game::Tags(actor).Add(game::MakeName(tag)); }

bool HasTag(AActor* actor, const char* tag) {
  return game::ActorHasTag(actor, game::MakeName(tag));
}

bool IsWild(AActor* actor) { return game::TargetingTeam(actor) <= 50000; }
