#pragma once

// The engine's name table behind FName: names are case-insensitive (ASCII letters), and an entry
// keeps the spelling it was first made with. Index 0 is "None".

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "host/engine_types.h"

namespace devserver {

class NameTable {
 public:
  NameTable();

  // "FName.Init": `number` is the engine's internal number (0: none); with `split`, a trailing
  // "_<digits>" becomes the number. With `add` false an unknown text gives "None".
  FName Make(std::string_view text, int32_t number, bool add, bool split);

  bool Knows(FName name) const {
    return name.ComparisonIndex >= 0 && name.ComparisonIndex < static_cast<int32_t>(texts_.size());
  }
  // The name as text ("Foo", "Foo_3"); empty when the index names no entry.
  std::optional<std::string> Display(FName name) const;

 private:
  // Not noexcept, as NameHash (devserver/name_hash.h).
  struct FoldedHash {
    std::size_t operator()(std::string_view text) const;
  };
  struct FoldedEqual {
    bool operator()(std::string_view left, std::string_view right) const noexcept;
  };

  std::deque<std::string> texts_;  // a deque keeps the keys below valid as it grows
  std::unordered_map<std::string_view, int32_t, FoldedHash, FoldedEqual> indices_;
};

}  // namespace devserver
