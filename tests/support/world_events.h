#pragma once

// Requests to the stand-in's world, and its event texts about one creature, so that a test reads
// as the sequence of what reached the game.

#include <fmt/format.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "devserver/control/server.h"

using Events = std::vector<std::string>;

inline constexpr const char* kCountedTag = "SpawnedFromNPCZone";
inline constexpr const char* kIgnoreTag = "IgnoreControlDino";

// Two creature classes most tests use: reference texts and the class keys the plug-in forms.
inline constexpr const char* kRaptor = "/Game/Raptor.Raptor_C";
inline constexpr const char* kRaptorKey = "Blueprint'/Game/Raptor.Raptor'";
inline constexpr const char* kDodo = "/Game/Dodo.Dodo_C";
inline constexpr const char* kDodoKey = "Blueprint'/Game/Dodo.Dodo'";

inline devserver::SpawnRequest SpawnOf(std::string_view reference,
                                       std::optional<int32_t> level = 1) {
  devserver::SpawnRequest request;
  request.reference = reference;
  request.level = level;
  return request;
}

inline devserver::PlaceRequest PlaceOf(std::string_view reference,
                                       std::optional<int32_t> level = 1) {
  devserver::PlaceRequest request;
  request.reference = reference;
  request.level = level;
  return request;
}

inline std::string SpawnedEvent(devserver::CreatureId id, std::string_view reference,
                                int32_t level) {
  return fmt::format("spawned #{} {} level {}", id, reference, level);
}

inline std::string PlacedEvent(devserver::CreatureId id, std::string_view reference, int32_t level,
                               int32_t team) {
  return fmt::format("placed #{} {} level {} team {}", id, reference, level, team);
}

inline std::string TagEvent(devserver::CreatureId id, std::string_view tag) {
  return fmt::format("tag #{} {}", id, tag);
}

inline std::string DiedEvent(devserver::CreatureId id) { return fmt::format("died #{}", id); }

inline std::string DestroyedEvent(devserver::CreatureId id) {
  return fmt::format("destroyed #{}", id);
}
