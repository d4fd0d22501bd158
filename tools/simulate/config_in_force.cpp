#include "tools/simulate/config_in_force.h"

#include <limits>

#include "config/config_lookup.h"
#include "tools/common/positioned_json.h"

namespace {

// The lookup's answer, or empty where the plug-in's lookup raises the library's error (a value of
// the wrong type): the plug-in then keeps the creature, as with no limit or no level rule.
template <typename Lookup>
auto Guarded(Lookup&& lookup) -> std::optional<decltype(lookup())> {
  try {
    return lookup();
  } catch (const nlohmann::json::exception&) {
    return std::nullopt;
  }
}

}  // namespace

std::optional<int32_t> ConfigInForce::LimitOf(const std::string& key) const {
  const auto limit = limits.find(key);
  if (limit == limits.end() || limit->second < 0) return std::nullopt;
  return limit->second;
}

ConfigInForce ReadConfigInForce(std::string_view text) {
  ConfigInForce config;
  const PositionedDocument read = ReadPositioned(text);
  const nlohmann::json& document = read.document;
  if (read.failure || !document.is_object()) return config;
  config.readable = true;
  const nlohmann::json* counts =
      Guarded([&] { return FindMember(document, config_keys::kMaxDinoCounts); }).value_or(nullptr);
  if (counts != nullptr && counts->is_object()) {
    for (const auto& [key, value] : counts->items()) {
      if (const auto limit = Guarded([&, &name = key] { return LookupInt32(*counts, name, -1); })) {
        config.limits[key] = *limit;
      }
    }
  }
  const auto rule_on =
      Guarded([&] { return LookupBool(document, config_keys::kDestroyDinosOverLevel, false); });
  if (rule_on.value_or(false)) {
    config.level_rule = Guarded([&] {
      return LookupInt32(document, config_keys::kMaxDinoLevel, std::numeric_limits<int32_t>::max());
    });
  }
  config.writes_dump_files =
      Guarded([&] { return LookupBool(document, config_keys::kWriteDumpsToFile, false); });
  return config;
}
