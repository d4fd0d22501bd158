#pragma once

// Any bytes an operator's file may hold, told apart from text and shown safely.

#include <cstddef>
#include <string>
#include <string_view>

// The length of the UTF-8 sequence at `text[at]` when it is a valid one (1 for ASCII), else 0: a
// byte that starts no valid sequence, or a sequence broken off.
std::size_t Utf8SequenceAt(std::string_view text, std::size_t at);

// The text fit for a terminal: valid UTF-8 as it is, every other byte, every control character
// (tab too) and DEL written as \xHH, C1 controls as \u0080-\u009F.
std::string PrintableText(std::string_view text);

// At most `most` characters of `text`, and "..." when there was more.
std::string Shortened(std::string_view text, std::size_t most);

// Whether a line (without its line end) is text: valid UTF-8 with no control character but tab and
// a carriage return.
bool IsTextLine(std::string_view line);

// Whether the bytes are UTF-16 text: a UTF-16 byte-order mark, or ASCII letters with a zero byte
// beside each.
bool LooksLikeUtf16(std::string_view bytes);

// Whether the bytes are no text at all (a program, an image): a zero byte, or a handful of control
// characters that text never holds. Test LooksLikeUtf16 first: UTF-16 text holds zero bytes.
bool LooksLikeBinary(std::string_view bytes);
