#include "tools/check/class_keys.h"

#include <algorithm>
#include <exception>
#include <iterator>
#include <limits>

#include "host/text.h"
#include "spawn_control/class_key.h"
#include "tools/common/ascii_case.h"
#include "tools/common/dump_lines.h"
#include "tools/common/files.h"
#include "tools/common/log_lines.h"
#include "tools/common/text_bytes.h"

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

namespace {

std::string_view Trim(std::string_view text) {
  text = TrimEnd(text);
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  return text;
}

bool HasSpaceOrQuote(std::string_view text) {
  return text.find_first_of(" \t'\"") != std::string_view::npos;
}

// A path as the game names a class or an object: "/Game/Folder/Asset.Object".
bool IsObjectPath(std::string_view text) {
  return text.size() > 1 && text.front() == '/' && text.find('.') != std::string_view::npos &&
         !HasSpaceOrQuote(text);
}

}  // namespace

std::optional<std::string> DerivedClassKey(std::string_view text) {
  text = Trim(text);
  if (StartsWithIgnoringAsciiCase(text, kKeyStart)) {
    std::string_view path = text.substr(kKeyStart.size());
    if (path.ends_with('\'')) path.remove_suffix(1);
    if (path.empty() || HasSpaceOrQuote(path)) return std::nullopt;
    return std::string(kKeyStart) + std::string(path) + "'";
  }
  if (IsObjectPath(text)) {
    if (text.ends_with("_C")) text.remove_suffix(2);
    return std::string(kKeyStart) + std::string(text) + "'";
  }
  return std::nullopt;
}

std::string_view ObjectNameOf(std::string_view key) {
  if (key.ends_with('\'')) key.remove_suffix(1);
  const std::size_t dot = key.rfind('.');
  return dot == std::string_view::npos ? std::string_view() : key.substr(dot + 1);
}

std::string_view AssetNameOf(std::string_view key) {
  const std::size_t dot = key.rfind('.');
  if (dot == std::string_view::npos) return {};
  key = key.substr(0, dot);
  const std::size_t slash = key.find_last_of("/'");
  return slash == std::string_view::npos ? key : key.substr(slash + 1);
}

namespace {

// A line of a class list that names a class on its own: a class key, or a reference text.
std::optional<std::string> ClassOfLine(std::string_view line) {
  if (HasClassKeyForm(line)) return std::string(line);
  if (IsObjectPath(line) && line.ends_with("_C")) return ClassKeyOfReference(line);
  return std::nullopt;
}

// After this many lines that are not text, a file is judged to be no list at all (a program, an
// image): reporting each of its lines would print the file.
constexpr int kNotTextLinesOfNoList = 5;

}  // namespace

ClassList ReadClassListText(std::string_view text) {
  ClassList list;
  if (LooksLikeUtf16(text)) {
    list.unusable = ClassList::Unusable::kUtf16;
    return list;
  }
  int number = 0;
  int not_text = 0;
  // Whether the lines so far belong to the server's log: a line without an entry's time then goes
  // on the entry before it.
  bool in_log = false;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view raw = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    ++number;
    if (number == 1 && raw.starts_with("\xEF\xBB\xBF")) raw.remove_prefix(3);
    const std::string_view line = Trim(raw);
    if (const std::optional<LogEntryStart> entry = ReadLogEntryStart(line)) {
      in_log = true;
      // Only the plug-in's dump entries name classes; the log's other entries are skipped.
      if (entry->logger != "Kestrovar" || entry->level != "warning") continue;
      const DumpLine dump = ReadDumpLine(entry->message);
      if (dump.form != DumpLineForm::kEntry) continue;
      if (HasClassKeyForm(dump.key)) {
        list.keys.emplace_back(dump.key);
        list.from_dump = true;
      } else {
        list.unread.push_back(UnreadLine{number, std::string(entry->message)});
      }
      continue;
    }
    if (line.empty() || line.front() == '#') continue;
    const DumpLine dump = ReadDumpLine(line);
    const bool key_whole = dump.form == DumpLineForm::kEntry ||
                           (dump.form == DumpLineForm::kCutShort && !dump.key.empty());
    if (key_whole && HasClassKeyForm(dump.key)) {
      list.keys.emplace_back(dump.key);
      list.from_dump = true;
      continue;
    }
    if (dump.form == DumpLineForm::kOther) {
      if (std::optional<std::string> key = ClassOfLine(line)) {
        list.keys.push_back(std::move(*key));
        continue;
      }
    }
    // The further lines of a log entry's message (the reader's error after "Failed to reload
    // config!") are part of that entry.
    if (in_log) continue;
    if (!IsTextLine(line) && ++not_text == kNotTextLinesOfNoList) {
      list.unusable = ClassList::Unusable::kNotText;
      list.unread.clear();
      return list;
    }
    list.unread.push_back(
        UnreadLine{number, std::string(line), dump.form == DumpLineForm::kCutShort});
  }
  return list;
}

std::optional<ClassList> ReadClassList(const std::string& path, std::string* why) {
  const std::optional<std::string> text =
      path == "-" ? ReadStandardInput(why) : ReadWholeFile(path, why);
  if (!text) return std::nullopt;
  return ReadClassListText(*text);
}

std::string ClosestOf(std::string_view name, const std::vector<std::string>& candidates,
                      std::size_t most) {
  std::string closest;
  std::size_t best = most;
  for (const std::string& candidate : candidates) {
    const std::size_t distance = EditDistance(name, candidate, best);
    if (distance < best || (closest.empty() && distance <= best)) {
      closest = candidate;
      best = distance;
    }
  }
  return closest;
}

bool AreTwoCreatures(std::string_view key, std::string_view other) {
  constexpr std::size_t kShortWord = 5;
  const std::string object = FoldAsciiCase(ObjectNameOf(key));
  const std::string other_object = FoldAsciiCase(ObjectNameOf(other));
  if (object.size() != other_object.size()) return false;
  std::size_t at = object.size();
  for (std::size_t i = 0; i < object.size(); ++i) {
    if (object[i] == other_object[i]) continue;
    if (at != object.size()) return false;
    at = i;
  }
  if (at == object.size()) return false;
  const auto is_letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  std::size_t begin = at;
  std::size_t end = at + 1;
  while (begin > 0 && is_letter(object[begin - 1])) --begin;
  while (end < object.size() && is_letter(object[end])) ++end;
  return end - begin <= kShortWord && !EqualIgnoringAsciiCase(AssetNameOf(key), AssetNameOf(other));
}

std::string ClosestClassKey(std::string_view key, const std::vector<std::string>& keys) {
  return ClassKeyIndex(keys).Closest(key);
}

ClassKeyIndex::ClassKeyIndex(const std::vector<std::string>& keys) : keys_(keys), nodes_(1) {
  for (uint32_t index = 0; index < keys.size(); ++index) {
    const std::string object = FoldAsciiCase(ObjectNameOf(keys[index]));
    uint32_t at = 0;
    for (const char letter : object) {
      std::vector<std::pair<char, uint32_t>>& next = nodes_[at].next;
      const auto found = std::find_if(next.begin(), next.end(),
                                      [letter](const auto& edge) { return edge.first == letter; });
      if (found != next.end()) {
        at = found->second;
        continue;
      }
      next.emplace_back(letter, static_cast<uint32_t>(nodes_.size()));
      at = static_cast<uint32_t>(nodes_.size());
      nodes_.emplace_back().letter = letter;
    }
    nodes_[at].keys.push_back(index);
    deepest_ = std::max(deepest_, object.size());
    // The lengths of the names below each node, along the name's own path.
    for (uint32_t on = 0, depth = 0;; ++depth) {
      Node& node = nodes_[on];
      node.shortest = std::min<std::size_t>(node.shortest, object.size());
      node.longest = std::max<std::size_t>(node.longest, object.size());
      if (depth == object.size()) break;
      on = std::find_if(node.next.begin(), node.next.end(), [&](const auto& edge) {
             return edge.first == object[depth];
           })->second;
    }
  }
}

std::string ClassKeyIndex::Closest(std::string_view key) const {
  const std::string object = FoldAsciiCase(ObjectNameOf(key));
  const std::size_t most = object.size() / 8;
  const std::size_t n = object.size();
  const std::size_t over = most + 1;
  // rows[d * width + j]: the edits between the first d letters of a name and the first j of
  // `object`, worked out only within `most` of the diagonal (the rest cannot come back within
  // `most`).
  const std::size_t width = n + 1;
  const std::size_t depths = std::min(deepest_, n + most) + 1;
  std::vector<uint32_t> rows(depths * width, static_cast<uint32_t>(over));
  for (std::size_t j = 0; j <= std::min(n, most); ++j) rows[j] = static_cast<uint32_t>(j);
  std::vector<uint32_t> candidates;
  if (n == 0) candidates = nodes_[0].keys;
  // Depth-first, without recursion: a name may be long.
  std::vector<std::pair<uint32_t, uint32_t>> stack;  // node, depth
  // A misspelling keeps the name's first letter: a name that begins otherwise is another creature.
  for (const auto& edge : nodes_[0].next) {
    if (n > 0 && edge.first == object.front()) stack.emplace_back(edge.second, 1);
  }
  while (!stack.empty()) {
    const auto [at, depth] = stack.back();
    stack.pop_back();
    const Node& node = nodes_[at];
    // No name below is of a length within `most` of the object's.
    if (node.longest + most < n || node.shortest > n + most) continue;
    const uint32_t* above = &rows[(depth - 1) * width];
    uint32_t* row = &rows[depth * width];
    const std::size_t from = depth > most ? depth - most : 0;
    const std::size_t to = std::min<std::size_t>(n, depth + most);
    std::size_t least = over;
    for (std::size_t j = from; j <= to; ++j) {
      std::size_t cell = above[j] + 1;
      if (j > 0) {
        cell = std::min<std::size_t>(cell, row[j - 1] + 1);
        cell = std::min<std::size_t>(cell, above[j - 1] + (object[j - 1] == node.letter ? 0 : 1));
      }
      row[j] = static_cast<uint32_t>(std::min(cell, over));
      least = std::min<std::size_t>(least, row[j]);
    }
    if (least > most) continue;
    if (to == n && row[n] <= most) {
      candidates.insert(candidates.end(), node.keys.begin(), node.keys.end());
    }
    if (depth + 1 >= depths) continue;
    for (const auto& edge : node.next) stack.emplace_back(edge.second, depth + 1);
  }
  // Of equally near classes, the first listed.
  std::sort(candidates.begin(), candidates.end());
  std::string closest;
  std::size_t best = key.size() / 10;
  for (const uint32_t index : candidates) {
    const std::string& candidate = keys_[index];
    const std::size_t distance = EditDistance(key, candidate, best);
    if (distance > best || (!closest.empty() && distance == best)) continue;
    if (AreTwoCreatures(key, candidate)) continue;
    closest = candidate;
    best = distance;
  }
  return closest;
}
