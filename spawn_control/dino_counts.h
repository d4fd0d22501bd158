#pragma once

// The per-class count of wild creatures counted against each class's limit, and the class key that
// names a class.

#include <cstdint>
#include <map>

#include "host/engine_types.h"
#include "host/text.h"

// Ordered by the case-insensitive key order: keys that differ only in letter case are one entry.
using DinoCountTable = std::map<FString, uint32_t, IgnoringCaseLess>;
// The table, read-only: it changes only through CountUp, CountDown, IsBelowMaxCount and
// ClearDinoCounts, which keep the hash index that finds its entries.
extern const DinoCountTable& DinoCounts;

// "Blueprint'" + the class's reference text less its last two characters + "'"; the empty key for a
// null class.
FString MakeClassKey(UClass* cls);

// A class's count as the room test found it, so that counting up the same creature needs no second
// lookup of its key. Good until the table is cleared; CountUp looks the key up again after that.
struct FoundCount {
  uint32_t* count = nullptr;
  uint64_t generation = 0;
};

// Every lookup creates a missing key with the count 0.
void CountUp(const FString& class_key);
void CountUp(const FString& class_key, const FoundCount& found);
void CountDown(const FString& class_key);  // never below 0

// Whether the class has room for one more counted creature under its configured limit. The class's
// count is put in `found` when it is looked up.
bool IsBelowMaxCount(const FString& class_key, FoundCount* found = nullptr);

void ClearDinoCounts();
