#pragma once

// The two questions the spawn control asks of the configuration, with configuration errors
// contained: an unreadable value never destroys a creature, so it is kept and counted (and the
// counts stay right for when the file is mended), and the problem is reported once.

#include <cstdint>

#include "host/engine_types.h"
#include "spawn_control/dino_counts.h"

// The class's count is put in `found` when it is looked up (see IsBelowMaxCount).
bool HasRoom(const FString& class_key, FoundCount* found = nullptr);
bool IsTooHighLevel(int32_t level);
