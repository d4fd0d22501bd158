#include "tools/common/config_in_force.h"

#include <limits>
#include <map>
#include <utility>

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

std::string LimitText(const std::optional<int32_t>& limit) {
  return limit ? std::to_string(*limit) : "none";
}

std::string LevelRuleText(const std::optional<int32_t>& level) {
  return level ? "level " + std::to_string(*level) : std::string("off");
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

std::string Difference(const ConfigInForce& before, const ConfigInForce& after) {
  std::map<std::string, std::pair<std::optional<int32_t>, std::optional<int32_t>>> limits;
  for (const auto& [key, limit] : before.limits) limits[key].first = before.LimitOf(key);
  for (const auto& [key, limit] : after.limits) limits[key].second = after.LimitOf(key);
  std::string changes;
  for (const auto& [key, pair] : limits) {
    if (pair.first == pair.second) continue;
    changes += (changes.empty() ? "" : ", ") + key + " " + LimitText(pair.first) + " -> " +
               LimitText(pair.second);
  }
  if (!changes.empty()) changes = "limits " + changes;
  if (before.level_rule != after.level_rule) {
    changes += (changes.empty() ? "" : "; ") + std::string("level rule ") +
               LevelRuleText(before.level_rule) + " -> " + LevelRuleText(after.level_rule);
  }
  return changes;
}
