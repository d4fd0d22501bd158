#include "tools/common/seed.h"

#include <limits>
#include <stdexcept>

uint64_t ParseSeed(const std::string& text) {
  const auto refuse = [&]() -> uint64_t {
    throw std::invalid_argument("expected a seed, a whole number from 0 to " +
                                std::to_string(std::numeric_limits<uint64_t>::max()) +
                                ", found \"" + text + "\"");
  };
  if (text.empty()) return refuse();
  uint64_t seed = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return refuse();
    const auto digit = static_cast<uint64_t>(c - '0');
    if (seed > (std::numeric_limits<uint64_t>::max() - digit) / 10) return refuse();
    seed = seed * 10 + digit;
  }
  return seed;
}

std::string SeedError(const std::string& text) {
  try {
    ParseSeed(text);
  } catch (const std::invalid_argument& error) {
    return error.what();
  }
  return {};
}
