#include "config/config_lookup.h"

#include <cmath>
#include <limits>

namespace {

// A floating-point limit or level is truncated toward zero and held to the 32-bit range, so that no
// value in the file can reach an undefined conversion.
int32_t ClampToInt32(double value) {
  if (std::isnan(value)) return 0;
  const double truncated = std::trunc(value);
  if (truncated <= static_cast<double>(std::numeric_limits<int32_t>::min())) {
    return std::numeric_limits<int32_t>::min();
  }
  if (truncated >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
    return std::numeric_limits<int32_t>::max();
  }
  return static_cast<int32_t>(truncated);
}

}  // namespace

const nlohmann::json* FindMember(const nlohmann::json& object, std::string_view key) {
  if (!object.is_object()) {
    // value() is asked only for its error, which names the value's type.
    static_cast<void>(object.value(std::string(key), nlohmann::json()));
  }
  // Searched by a view of the name, so that no lookup copies it.
  const auto member = object.find(key);
  return member == object.end() ? nullptr : &*member;
}

bool LookupBool(const nlohmann::json& object, const char* key, bool fallback) {
  return object.value(key, fallback);
}

int32_t LookupInt32(const nlohmann::json& object, std::string_view key, int32_t fallback) {
  const nlohmann::json* member = FindMember(object, key);
  if (member == nullptr) return fallback;
  if (member->is_number_float()) return ClampToInt32(member->get<double>());
  // Integers keep their low 32 bits read as two's complement; true and false give 1 and 0.
  return member->get<int32_t>();
}
