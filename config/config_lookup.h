#pragma once

// The lookup with a default: how the plug-in takes each setting from the document. Kept apart from
// the document itself so that `kestrovar check` judges a file by the very same rules.

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string_view>

// The four settings of config.json.
namespace config_keys {
inline constexpr const char* kMaxDinoCounts = "Max_Dino_Counts";
inline constexpr const char* kDestroyDinosOverLevel = "DestroyDinosOverLevel";
inline constexpr const char* kMaxDinoLevel = "MaxDinoLevel";
inline constexpr const char* kWriteDumpsToFile = "WriteDumpsToFile";
}  // namespace config_keys

// Lookups with a default (the JSON library's value(key, default) rules), applied to an object. Both
// throw the library's type error 306 when `object` is not an object and 302 for a member of the
// wrong type.
bool LookupBool(const nlohmann::json& object, const char* key, bool fallback);
// The key is all of `key`, zero bytes included. Integers keep their low 32 bits; floating-point
// numbers are truncated toward zero and held to the 32-bit range; true and false give 1 and 0.
int32_t LookupInt32(const nlohmann::json& object, std::string_view key, int32_t fallback);

// The member `key` of `object`, or null when absent. A value that is not an object raises the
// library's type error 306, exactly as value(key, default) does.
const nlohmann::json* FindMember(const nlohmann::json& object, std::string_view key);
