#pragma once

// UTF-16 text with the hash DigestKey gave its folded form, as the key of the plug-in's hash
// indexes, and a view of such text to look one up with, without building a string. The hash is
// the folded one (spellings that differ only in letter case share it); the text is compared unit
// for unit, folded or not as the index keeps it.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>

struct HashedText {
  std::u16string text;
  uint64_t hash;
};

struct HashedTextView {
  std::u16string_view text;
  uint64_t hash;
};

struct HashedTextHash {
  using is_transparent = void;
  std::size_t operator()(const HashedText& key) const noexcept {
    return static_cast<std::size_t>(key.hash);
  }
  std::size_t operator()(const HashedTextView& key) const noexcept {
    return static_cast<std::size_t>(key.hash);
  }
};

struct HashedTextEqual {
  using is_transparent = void;
  template <typename Left, typename Right>
  bool operator()(const Left& left, const Right& right) const noexcept {
    // Empty text may have no storage at all to compare.
    return left.hash == right.hash && left.text.size() == right.text.size() &&
           (left.text.empty() || std::memcmp(left.text.data(), right.text.data(),
                                             left.text.size() * sizeof(char16_t)) == 0);
  }
};

template <typename Value>
using HashedTextMap = std::unordered_map<HashedText, Value, HashedTextHash, HashedTextEqual>;
