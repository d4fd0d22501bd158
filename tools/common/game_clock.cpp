#include "tools/common/game_clock.h"

#include <cmath>
#include <cstdint>

std::string Clock(double hours) {
  const auto minutes = static_cast<int64_t>(std::llround(hours * 60));
  const int64_t within = minutes % 60;
  return std::to_string(minutes / 60) + (within < 10 ? ":0" : ":") + std::to_string(within);
}
