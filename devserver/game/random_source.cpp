#include "devserver/game/random_source.h"

#include <cmath>
#include <limits>

namespace devserver {

namespace {

uint64_t SplitMix(uint64_t& x) {
  uint64_t z = (x += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

uint64_t RotateLeft(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

}  // namespace

void RandomSource::Seed(uint64_t seed) {
  for (uint64_t& word : state_) word = SplitMix(seed);
}

uint64_t RandomSource::Next() {
  const uint64_t result = RotateLeft(state_[1] * 5, 7) * 9;
  const uint64_t t = state_[1] << 17;
  state_[2] ^= state_[0];
  state_[3] ^= state_[1];
  state_[1] ^= state_[2];
  state_[0] ^= state_[3];
  state_[2] ^= t;
  state_[3] = RotateLeft(state_[3], 45);
  return result;
}

double RandomSource::Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }

int64_t RandomSource::Between(int64_t low, int64_t high) {
  if (high <= low) return low;
  const uint64_t span = static_cast<uint64_t>(high) - static_cast<uint64_t>(low) + 1;
  if (span == 0) return static_cast<int64_t>(Next());  // the whole 64-bit range
  // Rejection keeps every value equally likely.
  const uint64_t limit =
      std::numeric_limits<uint64_t>::max() - std::numeric_limits<uint64_t>::max() % span;
  uint64_t draw = Next();
  while (draw >= limit) draw = Next();
  return static_cast<int64_t>(static_cast<uint64_t>(low) + draw % span);
}

bool RandomSource::Chance(double chance) {
  if (!(chance > 0)) return false;
  if (chance >= 1) return true;
  // Compared as 53-bit integers: exact on every platform.
  const auto threshold = static_cast<uint64_t>(chance * 0x1.0p53);
  return (Next() >> 11) < threshold;
}

double RandomSource::Exponential(double rate) {
  if (!(rate > 0)) return std::numeric_limits<double>::infinity();
  const double wait = -std::log1p(-Uniform()) / rate;
  return std::round(wait * 1000.0) / 1000.0;
}

}  // namespace devserver
