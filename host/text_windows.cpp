// Windows bodies of the text conversions: the system's own routines, as the game server uses them.

#include <windows.h>

#include <cwchar>
#include <string>

#include "host/text.h"

std::string ToUtf8(const FString& text) { return ToUtf8(text.View()); }

std::string ToUtf8(std::u16string_view units) {
  std::string out;
  ToUtf8(units, out);
  return out;
}

void ToUtf8(std::u16string_view units, std::string& out) {
  out.clear();
  if (units.empty()) return;
  const auto* wide = reinterpret_cast<const wchar_t*>(units.data());
  const int count = static_cast<int>(units.size());
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, count, nullptr, 0, nullptr, nullptr);
  out.resize(static_cast<std::size_t>(bytes));
  WideCharToMultiByte(CP_UTF8, 0, wide, count, out.data(), bytes, nullptr, nullptr);
}

int CompareIgnoringCase(const FString& left, const FString& right) {
  // _wcsicmp stops at the first zero unit, as the game's own comparison of keys does.
  const auto* a = left.Num() > 0 ? reinterpret_cast<const wchar_t*>(left.Data()) : L"";
  const auto* b = right.Num() > 0 ? reinterpret_cast<const wchar_t*>(right.Data()) : L"";
  return _wcsicmp(a, b);
}

int CompareIgnoringCase(std::u16string_view left, std::u16string_view right) {
  // Copied to gain the terminators that _wcsicmp needs.
  const std::u16string a(left);
  const std::u16string b(right);
  return _wcsicmp(reinterpret_cast<const wchar_t*>(a.c_str()),
                  reinterpret_cast<const wchar_t*>(b.c_str()));
}
