#include "spawn_control/admission.h"

#include <nlohmann/json.hpp>

#include "config/config.h"
#include "config/config_problems.h"
#include "spawn_control/dino_counts.h"

bool HasRoom(const FString& class_key, FoundCount* found) {
  try {
    return IsBelowMaxCount(class_key, found);
  } catch (const nlohmann::json::exception& error) {
    ReportConfigProblem(error.what());
    return true;
  }
}

bool IsTooHighLevel(int32_t level) {
  try {
    return IsOverMaxLevel(level);
  } catch (const nlohmann::json::exception& error) {
    ReportConfigProblem(error.what());
    return false;
  }
}
