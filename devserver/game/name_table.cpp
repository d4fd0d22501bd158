#include "devserver/game/name_table.h"

#include <limits>

#include "devserver/name_hash.h"

namespace devserver {

namespace {

// The engine's rule: "Name_12" is "Name" with the number 12 (stored as 13); digits with a leading
// zero ("Name_01") or too large for the number stay part of the text.
bool SplitNumber(std::string_view text, std::string_view& base, int32_t& internal_number) {
  std::size_t digits = 0;
  while (digits < text.size() && text[text.size() - 1 - digits] >= '0' &&
         text[text.size() - 1 - digits] <= '9') {
    ++digits;
  }
  if (digits == 0 || digits == text.size()) return false;
  const std::size_t underscore = text.size() - 1 - digits;
  if (text[underscore] != '_' || underscore == 0) return false;
  const std::string_view number_text = text.substr(underscore + 1);
  if (number_text.size() > 1 && number_text[0] == '0') return false;
  int64_t value = 0;
  for (const char c : number_text) {
    value = value * 10 + (c - '0');
    if (value >= std::numeric_limits<int32_t>::max()) return false;
  }
  base = text.substr(0, underscore);
  internal_number = static_cast<int32_t>(value + 1);
  return true;
}

}  // namespace

std::size_t NameTable::FoldedHash::operator()(std::string_view text) const {
  return HashNameIgnoringCase(text);
}

bool NameTable::FoldedEqual::operator()(std::string_view left,
                                        std::string_view right) const noexcept {
  return EqualIgnoringCase(left, right);
}

NameTable::NameTable() {
  texts_.emplace_back("None");
  indices_.emplace(texts_.back(), 0);
}

FName NameTable::Make(std::string_view text, int32_t number, bool add, bool split) {
  if (split && number == 0) SplitNumber(text, text, number);
  if (text.empty()) return {};
  const auto found = indices_.find(text);
  if (found != indices_.end()) return {found->second, number};
  if (!add) return {};
  const auto index = static_cast<int32_t>(texts_.size());
  texts_.emplace_back(text);
  indices_.emplace(texts_.back(), index);
  return {index, number};
}

std::optional<std::string> NameTable::Display(FName name) const {
  if (!Knows(name)) return std::nullopt;
  std::string text = texts_[name.ComparisonIndex];
  if (name.Number > 0) text.append("_").append(std::to_string(name.Number - 1));
  return text;
}

}  // namespace devserver
