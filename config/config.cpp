#include "config/config.h"

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

int32_t GetMaxDinoCount(const FString& class_key) {
  // Looked at in place rather than copied, so that a spawn does not pay for the size of the table.
  static const nlohmann::json no_limits = nlohmann::json::object();
  const nlohmann::json* limits = FindMember(config, config_keys::kMaxDinoCounts);
  // One buffer for every spawn's key: all calls come from the game thread, one at a time.
  static std::string name;
  ToUtf8(class_key.View(), name);
  return LookupInt32(limits != nullptr ? *limits : no_limits, name.c_str(), -1);
}

bool IsOverMaxLevel(int32_t level) {
  if (!LookupBool(config, config_keys::kDestroyDinosOverLevel, false)) return false;
  return level >=
         LookupInt32(config, config_keys::kMaxDinoLevel, std::numeric_limits<int32_t>::max());
}
