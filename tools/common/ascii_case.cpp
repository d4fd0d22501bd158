#include "tools/common/ascii_case.h"

#include <algorithm>

char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string FoldAsciiCase(std::string_view text) {
  std::string folded(text);
  for (char& c : folded) c = FoldAscii(c);
  return folded;
}

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return FoldAscii(x) == FoldAscii(y);
         });
}

bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view start) {
  return text.size() >= start.size() && EqualIgnoringAsciiCase(text.substr(0, start.size()), start);
}
