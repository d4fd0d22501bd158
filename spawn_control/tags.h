#pragma once

// The actor tags through which creatures carry their state.

#include "host/engine_types.h"

// The creature has been counted up.
inline constexpr const char* kCountedMark = "SpawnedFromNPCZone";
// The creature must not be counted down (again).
inline constexpr const char* kIgnoreMark = "IgnoreControlDino";

void AddTag(AActor* actor, const char* tag);
bool HasTag(AActor* actor, const char* tag);

// Wild: a targeting team of at most 50000.
bool IsWild(AActor* actor);
