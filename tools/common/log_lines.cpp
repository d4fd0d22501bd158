#include "tools/common/log_lines.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Whether `text` starts with `shape`, where each '0' stands for a digit.
bool HasShape(std::string_view text, std::string_view shape) {
  if (text.size() < shape.size()) return false;
  for (std::size_t i = 0; i < shape.size(); ++i) {
    if (shape[i] == '0' ? !IsDigit(text[i]) : text[i] != shape[i]) return false;
  }
  return true;
}

// The length of the entry's time and the space after it; 0 when the line starts with neither form.
std::size_t TimeLength(std::string_view line) {
  std::size_t length = 0;
  if (HasShape(line, "00/00/00 00:00")) {
    length = 14;
    if (HasShape(line.substr(length), ":00")) length += 3;
  } else if (HasShape(line, "[0000-00-00 00:00:00")) {
    length = 20;
    if (HasShape(line.substr(length), ".000")) length += 4;
    if (line.size() <= length || line[length] != ']') return 0;
    ++length;
  } else {
    return 0;
  }
  return line.size() > length && line[length] == ' ' ? length + 1 : 0;
}

// "[NAME]" at the start of `text`: the name, and `text` moved past it.
std::optional<std::string_view> TakeBracketed(std::string_view& text) {
  if (!text.starts_with('[')) return std::nullopt;
  const std::size_t end = text.find(']');
  if (end == std::string_view::npos) return std::nullopt;
  const std::string_view name = text.substr(1, end - 1);
  text.remove_prefix(end + 1);
  return name;
}

}  // namespace

std::optional<LogEntryStart> ReadLogEntryStart(std::string_view line) {
  if (line.ends_with('\r')) line.remove_suffix(1);
  const std::size_t time = TimeLength(line);
  if (time == 0) return std::nullopt;
  LogEntryStart entry;
  entry.time = line.substr(0, time - 1);
  if (entry.time.starts_with('[')) entry.time = entry.time.substr(1, entry.time.size() - 2);
  entry.message = line.substr(time);
  std::string_view rest = entry.message;
  const auto logger = TakeBracketed(rest);
  if (!logger) return entry;
  if (rest.starts_with(' ')) rest.remove_prefix(1);
  const auto level = TakeBracketed(rest);
  if (!level || !(rest.empty() || rest.starts_with(' '))) return entry;
  if (!rest.empty()) rest.remove_prefix(1);
  entry.logger = *logger;
  entry.level = *level;
  entry.message = rest;
  return entry;
}
