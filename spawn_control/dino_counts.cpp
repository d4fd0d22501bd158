#include "spawn_control/dino_counts.h"

#include <string>

#include "config/config.h"
#include "host/game_functions.h"
#include "host/hashed_text.h"
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
using CountIndex = HashedTextMap<DinoCountTable::iterator>;

CountIndex& Index() {
  static CountIndex index;
  return index;
}

// Counts the times the index was emptied, so that a count found before cannot outlive its entry.
uint64_t& IndexGeneration() {
  static uint64_t generation = 0;
  return generation;
}

void RebuildIndex(CountIndex& index) {
  index.clear();
  ++IndexGeneration();
  HashedText key{std::u16string(), 0};
  for (auto entry = DinoCounts.begin(); entry != DinoCounts.end(); ++entry) {
    key.hash = DigestKey(entry->first.View(), key.text).folded_hash;
    index.emplace(key, entry);
  }
}

// One buffer for the folded text of every lookup: all come from the game thread, one at a time.
std::u16string& FoldedBuffer() {
  static std::u16string folded;
  return folded;
}

// The count of a key whose folded text is in FoldedBuffer(), its entry created at 0 when missing
// (as the table's operator[] does).
uint32_t& CountOfDigested(const FString& class_key, const KeyDigest& digest) {
  CountIndex& index = Index();
  if (index.size() != DinoCounts.size()) RebuildIndex(index);
  const HashedTextView probe{FoldedBuffer(), digest.folded_hash};
  const auto hit = index.find(probe);
  if (hit != index.end()) return hit->second->second;
  const auto entry = DinoCounts.try_emplace(class_key, 0u).first;
  index.emplace(HashedText{std::u16string(probe.text), probe.hash}, entry);
  return entry->second;
}

uint32_t& CountOf(const FString& class_key) {
  return CountOfDigested(class_key, DigestKey(class_key.View(), FoldedBuffer()));
}

}  // namespace

void CountUp(const FString& class_key) { ++CountOf(class_key); }

void CountUp(const FString& class_key, const FoundCount& found) {
  if (found.count != nullptr && found.generation == IndexGeneration() &&
      Index().size() == DinoCounts.size()) {
    ++*found.count;
  } else {
    CountUp(class_key);
  }
}

void CountDown(const FString& class_key) {
  uint32_t& count = CountOf(class_key);
  if (count > 0) --count;
}

bool IsBelowMaxCount(const FString& class_key, FoundCount* found) {
  // One pass over the key serves both the limit and the count.
  const KeyDigest digest = DigestKey(class_key.View(), FoldedBuffer());
  // The limit first: a configuration error then leaves the table untouched.
  const int32_t limit = GetMaxDinoCount(class_key, digest);
  uint32_t& count = CountOfDigested(class_key, digest);
  if (found != nullptr) *found = FoundCount{&count, IndexGeneration()};
  return limit == -1 || count < static_cast<uint32_t>(limit);
}

void ClearDinoCounts() {
  Index().clear();
  ++IndexGeneration();
  DinoCounts.clear();
}
