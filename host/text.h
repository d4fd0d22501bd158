#pragma once

// Text conversions between the engine's UTF-16 strings and narrow text, and the order of class
// keys. Each has a Windows body (the system's own routines) and a portable body that gives the same
// result.

#include <cstdint>
#include <string>
#include <string_view>

#include "host/engine_types.h"

// UTF-8 form of an engine string, without the terminator. Unpaired surrogates become U+FFFD, as the
// Windows conversion does. A string without storage gives the empty string.
std::string ToUtf8(const FString& text);
std::string ToUtf8(std::u16string_view units);
// The same into `out`, replacing what it held and reusing its storage, for callers that convert
// at every spawn.
void ToUtf8(std::u16string_view units, std::string& out);

// The order of class keys: 16-bit units compared after folding A-Z (and only those) to lower case;
// a prefix sorts first. Negative, zero or positive like strcmp.
int CompareIgnoringCase(const FString& left, const FString& right);
int CompareIgnoringCase(std::u16string_view left, std::u16string_view right);

// The key as that order sees it: the units before the first zero unit, A-Z folded to lower case.
// Two keys compare equal exactly when these are equal. Written into `out`, reusing its storage.
void FoldForKeyOrder(std::u16string_view key, std::u16string& out);

// One pass over a key for the hash indexes of the count table and of the limits: the length of the
// text before the first zero unit (all that the key order sees; a limit's name must match the whole
// key, zero units included), a hash of that text folded as above, and whether all of it is ASCII.
// The folded text is written into `folded`, as FoldForKeyOrder writes it. Texts that differ only in
// A-Z case share the hash.
struct KeyDigest {
  std::size_t length;
  uint64_t folded_hash;
  bool ascii;
};
KeyDigest DigestKey(std::u16string_view key, std::u16string& folded);

struct IgnoringCaseLess {
  bool operator()(const FString& left, const FString& right) const {
    return CompareIgnoringCase(left, right) < 0;
  }
};
