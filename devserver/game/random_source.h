#pragma once

// The world's one source of chance. Its output is fixed by its algorithm (xoshiro256**, seeded
// through splitmix64) and so are the draws below, so a seed gives the same run on every platform
// and standard library; std:: distributions would not.

#include <cstdint>

namespace devserver {

class RandomSource {
 public:
  explicit RandomSource(uint64_t seed = 0) { Seed(seed); }

  void Seed(uint64_t seed);
  uint64_t Next();

  // Uniform in [0, 1), 53 bits.
  double Uniform();
  // Uniform integer in [low, high]; low when high < low.
  int64_t Between(int64_t low, int64_t high);
  // True with the given chance (0 never, 1 always).
  bool Chance(double chance);
  // Waiting time of an event that happens `rate` times per unit on average, rounded to a
  // millisecond so that the last bit of the platform's logarithm cannot change a run.
  double Exponential(double rate);

 private:
  uint64_t state_[4] = {};
};

}  // namespace devserver
