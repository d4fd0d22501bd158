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

// The table itself, defined with the rest of the module's state; only the functions below change
// it.
extern DinoCountTable WritableDinoCounts;

namespace {

// The entry of each key, found with one hash lookup instead of a walk down the ordered table, whose
// keys share long prefixes. Keyed by the key as the table's order folds it, so that spellings the
// table holds as one entry are one key here too.
//
// Every iterator the index holds is an entry of the table: entries are added only by
// CountOfDigested, which adds them to the index too, and removed only by ClearDinoCounts, which
// empties the index first. An entry may be missing from the index (its insertion there failed);
// the next lookup of its key then finds it in the table and indexes it.
using CountIndex = HashedTextMap<DinoCountTable::iterator>;

CountIndex& Index() {
  static CountIndex index;
  return index;
}

// Counts the times the table was cleared, so that a count found before cannot outlive its entry.
uint64_t& TableGeneration() {
  static uint64_t generation = 0;
  return generation;
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
  const HashedTextView probe{FoldedBuffer(), digest.folded_hash};
  const auto hit = index.find(probe);
  if (hit != index.end()) return hit->second->second;
  const auto entry = WritableDinoCounts.try_emplace(class_key, 0u).first;
  index.emplace(HashedText{std::u16string(probe.text), probe.hash}, entry);
  return entry->second;
}

uint32_t& CountOf(const FString& class_key) {
  return CountOfDigested(class_key, DigestKey(class_key.View(), FoldedBuffer()));
}

}  // namespace

void CountUp(const FString& class_key) { ++CountOf(class_key); }

void CountUp(const FString& class_key, const FoundCount& found) {
  if (found.count != nullptr && found.generation == TableGeneration()) {
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
  if (found != nullptr) *found = FoundCount{&count, TableGeneration()};
  return limit == -1 || count < static_cast<uint32_t>(limit);
}

void ClearDinoCounts() {
  Index().clear();
  ++TableGeneration();
  WritableDinoCounts.clear();
}
