#include "tools/check/class_keys.h"

#include <algorithm>
#include <fstream>
#include <limits>
#include <regex>

#include "host/text.h"
#include "spawn_control/class_key.h"

namespace {

constexpr std::string_view kKeyStart = "Blueprint'";

// Length of the UTF-8 sequence that `lead` starts, 0 when it starts none.
int SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

std::string_view TrimEnd(std::string_view text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Edit distance with letter case ignored, computed only within `bound` of the diagonal: a distance
// above `bound` comes back as bound + 1. Keeps a search over thousands of classes quick.
std::size_t EditDistance(std::string_view a, std::string_view b, std::size_t bound) {
  const std::size_t over = bound + 1;
  const std::size_t length_gap = a.size() > b.size() ? a.size() - b.size() : b.size() - a.size();
  if (length_gap > bound) return over;
  std::vector<std::size_t> row(b.size() + 1, over);
  for (std::size_t j = 0; j <= std::min(b.size(), bound); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    const std::size_t from = i > bound ? i - bound : 1;
    const std::size_t to = std::min(b.size(), i + bound);
    std::size_t diagonal = row[from - 1];
    row[from - 1] = from == 1 && i <= bound ? i : over;
    std::size_t least = row[from - 1];
    for (std::size_t j = from; j <= to; ++j) {
      const std::size_t above = row[j];
      const std::size_t change = FoldAscii(a[i - 1]) == FoldAscii(b[j - 1]) ? 0 : 1;
      row[j] = std::min({above + 1, row[j - 1] + 1, diagonal + change, over});
      diagonal = above;
      least = std::min(least, row[j]);
    }
    if (least > bound) return over;
  }
  return row[b.size()];
}

}  // namespace

std::u16string Utf16FromUtf8(std::string_view text) {
  std::u16string units;
  units.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const int length = SequenceLength(lead);
    char32_t code_point = length == 1   ? lead
                          : length == 2 ? lead & 0x1F
                          : length == 3 ? lead & 0x0F
                                        : lead & 0x07;
    bool valid = length > 0 && i + static_cast<std::size_t>(length) <= text.size();
    for (int k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
      valid = (next & 0xC0) == 0x80;
      code_point = (code_point << 6) | (next & 0x3F);
    }
    valid =
        valid &&
        !(length == 3 && (code_point < 0x800 || (code_point >= 0xD800 && code_point <= 0xDFFF))) &&
        !(length == 4 && (code_point < 0x10000 || code_point > 0x10FFFF));
    if (!valid) {
      units += u'\uFFFD';
      ++i;
      continue;
    }
    if (code_point >= 0x10000) {
      code_point -= 0x10000;
      units += static_cast<char16_t>(0xD800 + (code_point >> 10));
      units += static_cast<char16_t>(0xDC00 + (code_point & 0x3FF));
    } else {
      units += static_cast<char16_t>(code_point);
    }
    i += static_cast<std::size_t>(length);
  }
  return units;
}

bool HasClassKeyForm(std::string_view text) {
  return text.size() > kKeyStart.size() && text.starts_with(kKeyStart) && text.ends_with('\'');
}

std::string ClassKeyOfReference(std::string_view reference_text) {
  return ToUtf8(ClassKeyFromReference(Utf16FromUtf8(reference_text)));
}

std::optional<std::vector<std::string>> ReadClassList(const std::string& path) {
  std::ifstream file(path);
  if (!file.is_open()) return std::nullopt;
  static const std::regex dump_line(R"((.*)\. Num: \d+)");
  std::vector<std::string> keys;
  std::string line;
  while (std::getline(file, line)) {
    std::string_view text = TrimEnd(line);
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    if (text.empty() || text.front() == '#') continue;
    std::match_results<std::string_view::const_iterator> match;
    if (std::regex_match(text.begin(), text.end(), match, dump_line)) {
      text = text.substr(0, static_cast<std::size_t>(match.length(1)));
    }
    keys.push_back(HasClassKeyForm(text) ? std::string(text) : ClassKeyOfReference(text));
  }
  return keys;
}

std::string ClosestOf(std::string_view name, const std::vector<std::string>& candidates) {
  std::string closest;
  std::size_t best = std::numeric_limits<std::size_t>::max() / 2;
  for (const std::string& candidate : candidates) {
    const std::size_t distance = EditDistance(name, candidate, best);
    if (closest.empty() || distance < best) {
      closest = candidate;
      best = distance;
    }
  }
  return closest;
}
