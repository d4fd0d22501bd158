#include "spawn_control/dino_counts.h"

#include <string>

#include "config/config.h"
#include "host/game_functions.h"
#include "spawn_control/class_key.h"

FString MakeClassKey(UClass* cls) {
  if (cls == nullptr) return FString();
  const FString reference = game::ClassToStringReference(cls);
  FString result;
  result.AppendUnits(ClassKeyFromReference(reference.View()));
  return result;
}

void CountUp(const FString& class_key) { ++DinoCounts[class_key]; }

void CountDown(const FString& class_key) {
  uint32_t& count = DinoCounts[class_key];
  if (count > 0) --count;
}

bool IsBelowMaxCount(FString class_key) {
  // The limit first: a configuration error then leaves the table untouched.
  const int32_t limit = GetMaxDinoCount(class_key);
  const uint32_t count = DinoCounts[class_key];
  return limit == -1 || count < static_cast<uint32_t>(limit);
}

void ClearDinoCounts() { DinoCounts.clear(); }
