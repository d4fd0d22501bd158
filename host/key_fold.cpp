// The folding of the key order, the same on every platform: the Windows order (_wcsicmp in the C
// locale) folds only A-Z, as the portable one does.
//
// Keys are read four units at a time in a 64-bit word, each unit a 16-bit lane: the zero unit, the
// capitals and the non-ASCII units are found in all four lanes at once, without a branch per unit.

#include <bit>
#include <cstring>

#include "host/text.h"

namespace {

constexpr uint64_t kLow = 0x0001000100010001ull;
constexpr uint64_t kHigh = 0x8000800080008000ull;
constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;

// The high bit of each lane that holds a zero unit; lanes above the first zero may be marked too.
uint64_t ZeroLanes(uint64_t word) { return (word - kLow) & ~word & kHigh; }

// The word with its A-Z units folded to lower case.
uint64_t FoldCapitals(uint64_t word) {
  // Each lane's low 15 bits plus a bias carries into the lane's high bit exactly when they reach
  // the bias's threshold; no lane can carry into the next.
  const uint64_t low15 = word & ~kHigh;
  const uint64_t at_least_a = low15 + kLow * (0x8000 - u'A');
  const uint64_t beyond_z = low15 + kLow * (0x8000 - u'Z' - 1);
  const uint64_t capitals = at_least_a & ~beyond_z & ~word & kHigh;
  // A capital lacks the 0x20 bit that makes it small; 0x8000 >> 10 is that bit.
  return word | (capitals >> 10);
}

uint64_t Mix(uint64_t hash, uint64_t word) { return (hash ^ word) * kMultiplier; }

// Spreads the high bits, where the words' differences gather, down to the low bits.
uint64_t Finish(uint64_t hash, std::size_t length) {
  hash = Mix(hash, length);
  hash ^= hash >> 32;
  hash *= kMultiplier;
  return hash ^ (hash >> 29);
}

}  // namespace

KeyDigest DigestKey(std::u16string_view key, std::u16string& folded) {
  folded.resize(key.size());
  char16_t* const out = folded.data();
  uint64_t hash = 0;
  uint64_t all_units = 0;
  // Whole words while no zero unit is among them; the word with the zero or the last units after.
  std::size_t i = 0;
  for (; key.size() - i >= 4; i += 4) {
    uint64_t word;
    std::memcpy(&word, key.data() + i, sizeof word);
    if (ZeroLanes(word) != 0) break;
    const uint64_t lowered = FoldCapitals(word);
    std::memcpy(out + i, &lowered, sizeof lowered);
    all_units |= word;
    hash = Mix(hash, lowered);
  }
  uint64_t word = 0;
  const std::size_t units = key.size() - i < 4 ? key.size() - i : 4;
  if (units != 0) std::memcpy(&word, key.data() + i, units * sizeof(char16_t));
  // The end of the text counts as a zero unit. The lowest marked lane is the first zero: a borrow
  // marks only lanes above a true zero.
  const uint64_t zeros = ZeroLanes(word) | (units < 4 ? kHigh << (16 * units) : 0);
  const auto kept = static_cast<std::size_t>(std::countr_zero(zeros)) / 16;
  // Only the lanes before the zero belong to the key.
  word &= kept == 0 ? 0 : ~0ull >> (64 - 16 * kept);
  const uint64_t lowered = FoldCapitals(word);
  if (kept != 0) std::memcpy(out + i, &lowered, kept * sizeof(char16_t));
  all_units |= word;
  const std::size_t length = i + kept;
  folded.resize(length);
  KeyDigest digest;
  digest.length = length;
  digest.folded_hash = Finish(kept == 0 ? hash : Mix(hash, lowered), length);
  digest.ascii = (all_units & (kLow * 0xFF80)) == 0;
  return digest;
}

void FoldForKeyOrder(std::u16string_view key, std::u16string& out) { DigestKey(key, out); }
