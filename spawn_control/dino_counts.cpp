#include "spawn_control/dino_counts.h"

#include <string>
#include <unordered_map>

#include "config/config.h"
#include "host/game_functions.h"
#include "spawn_control/class_key.h"

FString MakeClassKey(UClass* cls) {
  if (cls == nullptr) return FString();
  const FString reference = game::ClassToStringReference(cls);
  // Put together in one buffer for every key the plug-in makes (all on the game thread, one at a
  // time), so that the engine string is allocated once, at its size.
  static std::u16string key;
  ClassKeyFromReference(reference.View(), key);
  FString result;
  result.AppendUnits(key);
  return result;
}

namespace {

// The entry of each key, found with one hash lookup instead of a walk down the ordered table, whose
// keys share long prefixes. Keyed by the key as the table's order folds it, so that spellings the
// table holds as one entry are one key here too. The table stays the one truth: the index follows
// it, and is rebuilt from it whenever the two differ in size (the table was cleared, or an entry
// was added to it directly).
using CountIndex = std::unordered_map<std::u16string, DinoCountTable::iterator>;

CountIndex& Index() {
  static CountIndex index;
  return index;
}

void RebuildIndex(CountIndex& index) {
  index.clear();
  std::u16string folded;
  for (auto entry = DinoCounts.begin(); entry != DinoCounts.end(); ++entry) {
    FoldForKeyOrder(entry->first.View(), folded);
    index.emplace(folded, entry);
  }
}

// The count of a key, its entry created at 0 when missing (as the table's operator[] does).
uint32_t& CountOf(const FString& class_key) {
  CountIndex& index = Index();
  if (index.size() != DinoCounts.size()) RebuildIndex(index);
  // One buffer for every lookup: all come from the game thread, one at a time.
  static std::u16string folded;
  FoldForKeyOrder(class_key.View(), folded);
  const auto hit = index.find(folded);
  if (hit != index.end()) return hit->second->second;
  const auto entry = DinoCounts.try_emplace(class_key, 0u).first;
  index.emplace(folded, entry);
  return entry->second;
}

}  // namespace

void CountUp(const FString& class_key) { ++CountOf(class_key); }

void CountDown(const FString& class_key) {
  uint32_t& count = CountOf(class_key);
  if (count > 0) --count;
}

bool IsBelowMaxCount(const FString& class_key) {
  // The limit first: a configuration error then leaves the table untouched.
  const int32_t limit = GetMaxDinoCount(class_key);
  const uint32_t count = CountOf(class_key);
  return limit == -1 || count < static_cast<uint32_t>(limit);
}

void ClearDinoCounts() {
  Index().clear();
  DinoCounts.clear();
}
