#include "tools/common/text_bytes.h"

#include <algorithm>

std::size_t Utf8SequenceAt(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  // The second byte's range rules out overlong forms, surrogates and code points above U+10FFFF.
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[at + k]);
    if (k == 1 ? next < low || next > high : (next & 0xC0) != 0x80) return 0;
  }
  return length;
}

std::string PrintableText(std::string_view text) {
  constexpr char kHex[] = "0123456789ABCDEF";
  std::string shown;
  shown.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const std::size_t length = Utf8SequenceAt(text, i);
    if (length == 0 || byte < 0x20 || byte == 0x7F) {
      shown += "\\x";
      shown += kHex[byte >> 4];
      shown += kHex[byte & 0xF];
      ++i;
      continue;
    }
    // U+0080-U+009F: C2 80 to C2 9F.
    if (length == 2 && byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      const auto unit = static_cast<unsigned char>(text[i + 1]);
      shown += "\\u00";
      shown += kHex[unit >> 4];
      shown += kHex[unit & 0xF];
    } else {
      shown.append(text.substr(i, length));
    }
    i += length;
  }
  return shown;
}

std::string Shortened(std::string_view text, std::size_t most) {
  std::size_t end = 0;
  for (std::size_t count = 0; end < text.size() && count < most; ++count) {
    end += std::max<std::size_t>(1, Utf8SequenceAt(text, end));
  }
  if (end >= text.size()) return std::string(text);
  return std::string(text.substr(0, end)) + "...";
}

bool IsTextLine(std::string_view line) {
  for (std::size_t i = 0; i < line.size();) {
    const auto byte = static_cast<unsigned char>(line[i]);
    const std::size_t length = Utf8SequenceAt(line, i);
    if (length == 0) return false;
    if ((byte < 0x20 && byte != '\t' && byte != '\r') || byte == 0x7F) return false;
    i += length;
  }
  return true;
}

bool LooksLikeUtf16(std::string_view bytes) {
  if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) return true;
  // ASCII text in UTF-16 has a zero in every other byte: the odd ones (little-endian) or the even
  // ones (big-endian). Judged on the first bytes, as an editor guesses.
  const std::size_t length = std::min<std::size_t>(bytes.size(), 256) & ~std::size_t{1};
  if (length < 4) return false;
  std::size_t zero_even = 0;
  std::size_t zero_odd = 0;
  for (std::size_t i = 0; i < length; ++i) {
    if (bytes[i] != '\0') continue;
    (i % 2 == 0 ? zero_even : zero_odd) += 1;
  }
  const std::size_t pairs = length / 2;
  const auto most = [pairs](std::size_t zeros) { return zeros * 4 >= pairs * 3; };
  const auto few = [pairs](std::size_t zeros) { return zeros * 10 <= pairs; };
  return (most(zero_odd) && few(zero_even)) || (most(zero_even) && few(zero_odd));
}

bool LooksLikeBinary(std::string_view bytes) {
  // A stray control character or two is a mistake in a text; more are no text.
  constexpr int kControlsOfNoText = 5;
  int controls = 0;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == 0) return true;
    const bool text_control = byte == '\t' || byte == '\n' || byte == '\r' || byte == '\f';
    if ((byte < 0x20 && !text_control) || byte == 0x7F) {
      if (++controls == kControlsOfNoText) return true;
    }
  }
  return false;
}
