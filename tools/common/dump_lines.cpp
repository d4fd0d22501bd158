#include "tools/common/dump_lines.h"

#include <limits>

namespace {

constexpr std::string_view kCountMark = ". Num: ";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The count as the dump writes it: decimal digits of an unsigned 32-bit number.
bool ReadCount(std::string_view digits, uint32_t& count) {
  if (digits.empty()) return false;
  uint64_t value = 0;
  for (const char c : digits) {
    if (!IsDigit(c)) return false;
    value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value > std::numeric_limits<uint32_t>::max()) return false;
  }
  count = static_cast<uint32_t>(value);
  return true;
}

// Whether the line ends with the first characters of the mark, at least ". N" of it: a line cut
// within the mark. A shorter part (". " or ".") is too common inside keys and text to tell.
bool EndsWithinMark(std::string_view line) {
  for (std::size_t length = 3; length < kCountMark.size(); ++length) {
    if (line.ends_with(kCountMark.substr(0, length))) return true;
  }
  return false;
}

}  // namespace

DumpLine ReadDumpLine(std::string_view line, bool text_ends_here) {
  if (line.ends_with('\r')) line.remove_suffix(1);
  DumpLine read;
  const std::size_t mark = line.rfind(kCountMark);
  // The mark without its space: "KEY. Num:" is a line cut right after it, once the end's space is
  // trimmed.
  const bool bare_mark = mark == std::string_view::npos && line.ends_with(". Num:");
  if (mark != std::string_view::npos || bare_mark) {
    const std::string_view key = bare_mark ? line.substr(0, line.size() - 6) : line.substr(0, mark);
    const std::string_view digits =
        bare_mark ? std::string_view() : line.substr(mark + kCountMark.size());
    uint32_t count = 0;
    if (ReadCount(digits, count)) {
      read.key = key;
      if (text_ends_here) {
        read.form = DumpLineForm::kCutShort;
      } else {
        read.form = DumpLineForm::kEntry;
        read.count = count;
      }
      return read;
    }
    if (digits.empty()) {
      read.form = DumpLineForm::kCutShort;
      read.key = key;
      return read;
    }
    // Anything but digits after the mark is no count.
    return read;
  }
  if (EndsWithinMark(line) || (text_ends_here && !line.empty())) {
    read.form = DumpLineForm::kCutShort;
  }
  return read;
}

std::vector<NumberedDumpLine> ReadDumpLines(std::string_view text) {
  std::vector<NumberedDumpLine> lines;
  int number = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const bool last = end == std::string_view::npos;
    std::string_view line = text.substr(0, end);
    text = last ? std::string_view() : text.substr(end + 1);
    const DumpLine read = ReadDumpLine(line, last);
    if (line.ends_with('\r')) line.remove_suffix(1);
    lines.push_back(NumberedDumpLine{++number, line, read});
  }
  return lines;
}

std::string DumpForm(std::string_view key) {
  std::string form(key);
  for (char& c : form) {
    if (static_cast<unsigned char>(c) >= 0x80) c = '?';
  }
  return form;
}

bool IsDumpFileName(std::string_view file_name) {
  return file_name.starts_with("DinoDumpLog_") && file_name.ends_with(".txt");
}
