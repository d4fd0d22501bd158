#include "tools/watch/duration.h"

#include <cstdint>

std::optional<std::chrono::milliseconds> ParseDuration(std::string_view text) {
  if (text.empty()) return std::nullopt;
  // Up to a year; more digits than that would overflow long before.
  constexpr int64_t kMax = int64_t{366} * 24 * 3600 * 1000;
  int64_t total = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    int64_t number = 0;
    const std::size_t digits_from = at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
      number = number * 10 + (text[at] - '0');
      if (number > kMax) return std::nullopt;
      ++at;
    }
    if (at == digits_from) return std::nullopt;
    std::size_t unit_from = at;
    while (at < text.size() && (text[at] < '0' || text[at] > '9')) ++at;
    const std::string_view unit = text.substr(unit_from, at - unit_from);
    int64_t scale = 0;
    if (unit == "ms") {
      scale = 1;
    } else if (unit == "s" || (unit.empty() && digits_from == 0 && at == text.size())) {
      scale = 1000;
    } else if (unit == "m") {
      scale = 60 * 1000;
    } else if (unit == "h") {
      scale = 3600 * 1000;
    } else if (unit == "d") {
      scale = 24 * 3600 * 1000;
    } else {
      return std::nullopt;
    }
    total += number * scale;
    if (total > kMax) return std::nullopt;
  }
  return std::chrono::milliseconds(total);
}

std::string FormatDuration(std::chrono::milliseconds duration) {
  int64_t ms = duration.count();
  if (ms == 0) return "0s";
  std::string text;
  const std::pair<int64_t, const char*> units[] = {
      {24 * 3600 * 1000, "d"}, {3600 * 1000, "h"}, {60 * 1000, "m"}, {1000, "s"}, {1, "ms"}};
  for (const auto& [scale, name] : units) {
    if (ms >= scale) {
      text += std::to_string(ms / scale) + name;
      ms %= scale;
    }
  }
  return text;
}
