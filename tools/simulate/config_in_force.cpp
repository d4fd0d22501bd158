#include "tools/simulate/config_in_force.h"

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

namespace {

// As the plug-in converts a number to a signed 32-bit integer: integers keep their low 32 bits,
// fractions are cut toward zero and held to the range, true and false are 1 and 0.
std::optional<int32_t> AsInt32(const nlohmann::json& value) {
  if (value.is_number_integer()) {
    return static_cast<int32_t>(static_cast<uint32_t>(value.get<int64_t>() & 0xFFFFFFFF));
  }
  if (value.is_number_float()) {
    const double number = value.get<double>();
    if (std::isnan(number)) return 0;
    if (number >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (number <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(number);
  }
  if (value.is_boolean()) return value.get<bool>() ? 1 : 0;
  return std::nullopt;
}

}  // namespace

std::optional<int32_t> ConfigInForce::LimitOf(const std::string& key) const {
  const auto limit = limits.find(key);
  if (limit == limits.end() || limit->second < 0) return std::nullopt;
  return limit->second;
}

ConfigInForce ReadConfigInForce(const std::string& text) {
  ConfigInForce config;
  const nlohmann::json document = nlohmann::json::parse(text, nullptr, false);
  if (document.is_discarded() || !document.is_object()) return config;
  config.readable = true;
  if (const auto counts = document.find("Max_Dino_Counts");
      counts != document.end() && counts->is_object()) {
    for (const auto& [key, value] : counts->items()) {
      if (const auto limit = AsInt32(value)) config.limits[key] = *limit;
    }
  }
  const auto rule = document.find("DestroyDinosOverLevel");
  if (rule != document.end() && rule->is_boolean() && rule->get<bool>()) {
    const auto level = document.find("MaxDinoLevel");
    config.level_rule = level == document.end()
                            ? std::optional<int32_t>(std::numeric_limits<int32_t>::max())
                            : AsInt32(*level);
  }
  return config;
}
