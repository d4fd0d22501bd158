#pragma once

// UTF-8 and UTF-16 as the stand-in needs them: lines typed by operators arrive as UTF-8 and become
// engine strings. Engine strings are printed as UTF-8 with the host's own ToUtf8 (host/text.h).

#include <string>
#include <string_view>

namespace devserver {

// Invalid UTF-8 becomes U+FFFD, one per offending byte.
std::u16string Utf8ToUtf16(std::string_view text);

// Only A-Z fold, like the engine's comparison of command and class names.
char16_t FoldAsciiCapital(char16_t unit);
bool EqualIgnoringAsciiCase(std::u16string_view left, std::u16string_view right);

// The first run of non-blank units, blanks being space, tab, CR and LF.
std::u16string_view FirstWord(std::u16string_view line);

}  // namespace devserver
