#include "config/config.h"

#include <fstream>
#include <limits>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "config/config_problems.h"
#include "host/api.h"
#include "host/hashed_text.h"
#include "host/text.h"

namespace {
constexpr const char* kConfigFile = "/ArkApi/Plugins/Kestrovar/config.json";

// The limits of the document in force by their names' UTF-16 text, so that a spawn finds its limit
// with one hash lookup of the key it already has, instead of converting the key to UTF-8 and
// searching the document's members by string comparison. Only ASCII names without a zero are
// indexed, and only such keys are looked up here: an ASCII key's UTF-8 text is itself, so it can
// equal no other name. Hashed as the count table's index hashes (names differing only in case share
// a hash) and compared exactly, so that a spawn reads its key once for both. Every other question
// goes to the document, as before.
struct IndexedLimit {
  int32_t value;
  // A value the lookup rejects: such a limit is asked of the document at each lookup, so that the
  // library's error comes at the spawn that looks it up, as it always did.
  bool wrong_type;
};

struct LimitIndex {
  // Whether "Max_Dino_Counts" is an object in an object, the one shape the index answers for. A
  // document of another shape (no document yet, a list of limits that is no object) answers
  // every lookup itself, with the library's error.
  bool indexed = false;
  HashedTextMap<IndexedLimit> limits;
};

LimitIndex& Limits() {
  static LimitIndex index;
  return index;
}

bool IsIndexableName(std::string_view name) {
  for (const char byte : name) {
    const auto unit = static_cast<unsigned char>(byte);
    if (unit == 0 || unit >= 0x80) return false;
  }
  return true;
}

LimitIndex IndexLimits(const nlohmann::json& document) {
  LimitIndex index;
  if (!document.is_object()) return index;
  const auto limits = document.find(config_keys::kMaxDinoCounts);
  if (limits != document.end() && !limits->is_object()) return index;
  index.indexed = true;
  if (limits == document.end()) return index;
  std::u16string folded;
  for (const auto& [name, value] : limits->items()) {
    if (!IsIndexableName(name)) continue;
    HashedText key{std::u16string(name.begin(), name.end()), 0};
    key.hash = DigestKey(key.text, folded).folded_hash;
    IndexedLimit limit{-1, false};
    try {
      limit.value = LookupInt32(*limits, name, -1);
    } catch (const nlohmann::json::exception&) {
      limit.wrong_type = true;
    }
    index.limits.emplace(std::move(key), limit);
  }
  return index;
}

// The limit as the document gives it: the UTF-8 text of the whole key, zero units included,
// searched among the limits' names.
int32_t LookUpInDocument(const FString& class_key) {
  static const nlohmann::json no_limits = nlohmann::json::object();
  const nlohmann::json* limits = FindMember(config, config_keys::kMaxDinoCounts);
  // One buffer for every spawn's key: all calls come from the game thread, one at a time.
  static std::string name;
  ToUtf8(class_key.View(), name);
  return LookupInt32(limits != nullptr ? *limits : no_limits, name, -1);
}

}  // namespace

void ReplaceConfig(nlohmann::json document) {
  // The index is built first: should that fail, neither the document nor its index changes.
  LimitIndex index = IndexLimits(document);
  config = std::move(document);
  Limits() = std::move(index);
}

void ReadConfig() {
  std::ifstream file(ArkApi::Tools::GetCurrentDir() + kConfigFile);
  if (!file.is_open()) throw std::runtime_error("Can't open config.json");
  // Parsed apart from the document in force: a file that breaks off half-way must not leave the
  // server running on part of it.
  nlohmann::json read;
  file >> read;
  ReplaceConfig(std::move(read));
  ForgetConfigProblems();
}

int32_t GetMaxDinoCount(const FString& class_key) {
  std::u16string folded;
  return GetMaxDinoCount(class_key, DigestKey(class_key.View(), folded));
}

int32_t GetMaxDinoCount(const FString& class_key, const KeyDigest& digest) {
  const LimitIndex& index = Limits();
  const std::u16string_view text = class_key.View();
  // The digest covers the key up to its first zero unit; a limit's name must equal all of it.
  if (!index.indexed || !digest.ascii || digest.length != text.size()) {
    return LookUpInDocument(class_key);
  }
  const HashedTextView probe{text, digest.folded_hash};
  const auto found = index.limits.find(probe);
  if (found == index.limits.end()) return -1;
  if (found->second.wrong_type) return LookUpInDocument(class_key);
  return found->second.value;
}

bool IsOverMaxLevel(int32_t level) {
  if (!LookupBool(config, config_keys::kDestroyDinosOverLevel, false)) return false;
  return level >=
         LookupInt32(config, config_keys::kMaxDinoLevel, std::numeric_limits<int32_t>::max());
}
