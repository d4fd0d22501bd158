// Portable bodies of the text conversions, equal in result to the Windows ones.

#include <cstdint>

#include "host/text.h"

namespace {

// Writes the UTF-8 form of one code point at `out` and returns the end of what it wrote.
char* PutUtf8(char* out, char32_t code_point) {
  if (code_point < 0x80) {
    *out++ = static_cast<char>(code_point);
  } else if (code_point < 0x800) {
    *out++ = static_cast<char>(0xC0 | (code_point >> 6));
    *out++ = static_cast<char>(0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (code_point >> 12));
    *out++ = static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (code_point & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (code_point >> 18));
    *out++ = static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (code_point & 0x3F));
  }
  return out;
}

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

char16_t FoldAsciiCapital(char16_t unit) {
  return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit + (u'a' - u'A')) : unit;
}

}  // namespace

std::string ToUtf8(const FString& text) { return ToUtf8(text.View()); }

std::string ToUtf8(std::u16string_view units) {
  std::string out;
  ToUtf8(units, out);
  return out;
}

void ToUtf8(std::u16string_view units, std::string& out) {
  // No unit takes more than three bytes (a surrogate pair takes four for its two units), so the
  // text is written into room made once and then cut to what it took.
  out.resize(3 * units.size());
  char* const begin = out.data();
  char* end = begin;
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t unit = units[i];
    if (unit < 0x80) {
      *end++ = static_cast<char>(unit);
    } else if (IsHighSurrogate(unit) && i + 1 < units.size() && IsLowSurrogate(units[i + 1])) {
      const char32_t high = unit - 0xD800;
      const char32_t low = units[i + 1] - 0xDC00;
      end = PutUtf8(end, 0x10000 + (high << 10) + low);
      ++i;
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      end = PutUtf8(end, 0xFFFD);
    } else {
      end = PutUtf8(end, unit);
    }
  }
  out.resize(static_cast<std::size_t>(end - begin));
}

int CompareIgnoringCase(const FString& left, const FString& right) {
  return CompareIgnoringCase(left.View(), right.View());
}

int CompareIgnoringCase(std::u16string_view a, std::u16string_view b) {
  // Like the Windows routine, the comparison ends at the first zero unit, and the end of a text
  // counts as one: a prefix sorts first.
  const std::size_t common = a.size() < b.size() ? a.size() : b.size();
  std::size_t i = 0;
  // Keys share long prefixes; equal units need no folding.
  while (i < common && a[i] == b[i] && a[i] != u'\0') ++i;
  for (;; ++i) {
    const char16_t x = i < a.size() ? FoldAsciiCapital(a[i]) : u'\0';
    const char16_t y = i < b.size() ? FoldAsciiCapital(b[i]) : u'\0';
    if (x != y) return x < y ? -1 : 1;
    if (x == u'\0') return 0;
  }
}
