#include "devserver/name_hash.h"

#include <cstdint>
#include <cstring>

namespace devserver {

namespace {

constexpr uint64_t kLow = 0x0101010101010101ull;
constexpr uint64_t kHigh = 0x8080808080808080ull;
constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;

uint64_t Load(const char* bytes) {
  uint64_t word;
  std::memcpy(&word, bytes, sizeof word);
  return word;
}

// Of a text shorter than eight bytes, its bytes in one word whose unused high bytes are zero.
uint64_t ShortText(std::string_view text) {
  uint64_t word = 0;
  for (std::size_t k = 0; k < text.size(); ++k) {
    word |= static_cast<uint64_t>(static_cast<unsigned char>(text[k])) << (8 * k);
  }
  return word;
}

// The bytes from `i` to the end, fewer than eight, in one word whose unused high bytes are zero. Of
// a text of eight bytes or more they come from its last eight bytes, so that no load has a length
// of its own.
inline uint64_t TailAt(std::string_view text, std::size_t i) {
  if (text.size() < 8) return ShortText(text);
  return Load(text.data() + text.size() - 8) >> (8 * (8 - (text.size() - i)));
}

// The word with its A-Z bytes folded to lower case: each byte's low seven bits plus a bias carry
// into the byte's high bit exactly when they reach the bias's threshold.
uint64_t FoldCapitals(uint64_t word) {
  const uint64_t low7 = word & ~kHigh;
  const uint64_t at_least_a = low7 + kLow * (0x80 - 'A');
  const uint64_t beyond_z = low7 + kLow * (0x80 - 'Z' - 1);
  const uint64_t capitals = at_least_a & ~beyond_z & ~word & kHigh;
  return word | (capitals >> 2);
}

uint64_t Finish(uint64_t hash, std::size_t length) {
  hash = (hash ^ length) * kMultiplier;
  hash ^= hash >> 32;
  hash *= kMultiplier;
  return hash ^ (hash >> 29);
}

template <bool kFold>
std::size_t Hash(std::string_view text) {
  uint64_t hash = 0;
  std::size_t i = 0;
  for (; text.size() - i >= 8; i += 8) {
    const uint64_t word = Load(text.data() + i);
    hash = (hash ^ (kFold ? FoldCapitals(word) : word)) * kMultiplier;
  }
  if (i < text.size()) {
    const uint64_t word = TailAt(text, i);
    hash = (hash ^ (kFold ? FoldCapitals(word) : word)) * kMultiplier;
  }
  return static_cast<std::size_t>(Finish(hash, text.size()));
}

}  // namespace

std::size_t HashName(std::string_view text) noexcept { return Hash<false>(text); }

std::size_t HashNameIgnoringCase(std::string_view text) noexcept { return Hash<true>(text); }

bool EqualIgnoringCase(std::string_view left, std::string_view right) noexcept {
  if (left.size() != right.size()) return false;
  std::size_t i = 0;
  // Names are mostly asked for as they were first spelled: equal words need no folding.
  for (; left.size() - i >= 8; i += 8) {
    const uint64_t x = Load(left.data() + i);
    const uint64_t y = Load(right.data() + i);
    if (x != y && FoldCapitals(x) != FoldCapitals(y)) return false;
  }
  if (i == left.size()) return true;
  const uint64_t x = TailAt(left, i);
  const uint64_t y = TailAt(right, i);
  return x == y || FoldCapitals(x) == FoldCapitals(y);
}

}  // namespace devserver
