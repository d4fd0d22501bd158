#include "config/config.h"

#include <cmath>
#include <fstream>
#include <limits>
#include <stdexcept>
#include <string>
#include <string_view>

#include "config/config_problems.h"
#include "host/api.h"
#include "host/text.h"

namespace {

constexpr const char* kConfigFile = "/ArkApi/Plugins/Kestrovar/config.json";

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

// The member `key` of `object`, or null when absent. A value that is not an object raises the
// library's type error 306, exactly as value(key, default) does.
// Searched by a view of the name, so that no lookup copies it.
const nlohmann::json* FindMember(const nlohmann::json& object, std::string_view key) {
  if (!object.is_object()) {
    // value() is asked only for its error, which names the value's type.
    static_cast<void>(object.value(std::string(key), nlohmann::json()));
  }
  const auto member = object.find(key);
  return member == object.end() ? nullptr : &*member;
}

}  // namespace

void ReadConfig() {
  std::ifstream file(ArkApi::Tools::GetCurrentDir() + kConfigFile);
  if (!file.is_open()) throw std::runtime_error("Can't open config.json");
  // Parsed apart from the document in force: a file that breaks off half-way must not leave the
  // server running on part of it.
  nlohmann::json read;
  file >> read;
  config = std::move(read);
  ForgetConfigProblems();
}

bool LookupBool(const nlohmann::json& object, const char* key, bool fallback) {
  // As value(key, fallback): anything but a boolean raises the library's type error 302.
  const nlohmann::json* member = FindMember(object, key);
  return member == nullptr ? fallback : member->get<bool>();
}

int32_t LookupInt32(const nlohmann::json& object, const char* key, int32_t fallback) {
  const nlohmann::json* member = FindMember(object, key);
  if (member == nullptr) return fallback;
  if (member->is_number_float()) return ClampToInt32(member->get<double>());
  // Integers keep their low 32 bits read as two's complement; true and false give 1 and 0.
  return member->get<int32_t>();
}

int32_t GetMaxDinoCount(const FString& class_key) {
  // Looked at in place rather than copied, so that a spawn does not pay for the size of the table.
  static const nlohmann::json no_limits = nlohmann::json::object();
  const nlohmann::json* limits = FindMember(config, "Max_Dino_Counts");
  // One buffer for every spawn's key: all calls come from the game thread, one at a time.
  static std::string name;
  ToUtf8(class_key.View(), name);
  return LookupInt32(limits != nullptr ? *limits : no_limits, name.c_str(), -1);
}

bool IsOverMaxLevel(int32_t level) {
  if (!LookupBool(config, "DestroyDinosOverLevel", false)) return false;
  return level >= LookupInt32(config, "MaxDinoLevel", std::numeric_limits<int32_t>::max());
}
