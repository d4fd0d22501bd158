#include "spawn_control/dino_counts.h"

#include <string>

#include "config/config.h"
#include "host/game_functions.h"

FString MakeClassKey(UClass* cls) {
  if (cls == nullptr) return FString();
  const FString reference = game::ClassToStringReference(cls);
  const std::u16string_view text = reference.View();
  // The reference text ends in two characters that the key leaves out.
  const std::u16string_view kept =
      text.size() < 2 ? std::u16string_view() : text.substr(0, text.size() - 2);
  // Put together in one buffer for every key the plug-in makes (all on the game thread, one at a
  // time), so that the engine string is allocated once, at its size.
  static std::u16string key;
  key.assign(u"Blueprint'");
  key += kept;
  key += u"'";
  FString result;
  result.AppendUnits(key);
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
