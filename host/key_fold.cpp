// The folding of the key order, the same on every platform: the Windows order (_wcsicmp in the C
// locale) folds only A-Z, as the portable one does.

#include "host/text.h"

void FoldForKeyOrder(std::u16string_view key, std::u16string& out) {
  std::size_t length = 0;
  while (length < key.size() && key[length] != u'\0') ++length;
  out.resize(length);
  char16_t* const folded = out.data();
  // Without a branch per unit, so that the compiler can fold several units at once.
  for (std::size_t i = 0; i < length; ++i) {
    const char16_t unit = key[i];
    const bool capital = static_cast<char16_t>(unit - u'A') < 26;
    folded[i] = static_cast<char16_t>(unit + (capital ? u'a' - u'A' : 0));
  }
}
