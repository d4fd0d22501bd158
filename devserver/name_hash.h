#pragma once

// Hashes and comparisons of names for the stand-in's tables keyed by names (the game's addresses,
// the engine's name table), read eight bytes at a time instead of one.

#include <cstddef>
#include <string_view>

namespace devserver {

std::size_t HashName(std::string_view text) noexcept;

// Names that differ only in the case of A-Z hash and compare alike.
std::size_t HashNameIgnoringCase(std::string_view text) noexcept;
bool EqualIgnoringCase(std::string_view left, std::string_view right) noexcept;

// For std::unordered_map. Deliberately not noexcept: the standard library then keeps each entry's
// hash beside it, and a lookup compares hashes instead of hashing again every name it passes.
struct NameHash {
  std::size_t operator()(std::string_view text) const { return HashName(text); }
};

}  // namespace devserver
