#pragma once

// The per-class count of wild creatures counted against each class's limit, and the class key that
// names a class.

#include <cstdint>
#include <map>

#include "host/engine_types.h"
#include "host/text.h"

// Ordered by the case-insensitive key order: keys that differ only in letter case are one entry.
using DinoCountTable = std::map<FString, uint32_t, IgnoringCaseLess>;
extern DinoCountTable DinoCounts;

// "Blueprint'" + the class's reference text less its last two characters + "'"; the empty key for a
// null class.
FString MakeClassKey(UClass* cls);

// Every lookup creates a missing key with the count 0.
void CountUp(const FString& class_key);
void CountDown(const FString& class_key);  // never below 0

// Whether the class has room for one more counted creature under its configured limit.
bool IsBelowMaxCount(const FString& class_key);

void ClearDinoCounts();
