#include "tools/serve/words.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <stdexcept>

#include "tools/scenario/scenario.h"

namespace {

template <typename Number>
bool ParseWhole(std::string_view text, Number& value) {
  if (text.empty()) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::vector<std::string> SplitWords(std::string_view line) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) words.emplace_back(line.substr(start, i - start));
  }
  return words;
}

std::string_view RestOfLine(std::string_view line, std::size_t words) {
  constexpr std::string_view kBlanks = " \t";
  std::size_t at = 0;
  for (std::size_t i = 0; i < words && at != std::string_view::npos; ++i) {
    at = line.find_first_not_of(kBlanks, at);
    if (at != std::string_view::npos) at = line.find_first_of(kBlanks, at);
  }
  if (at != std::string_view::npos) at = line.find_first_not_of(kBlanks, at);
  return at == std::string_view::npos ? std::string_view() : line.substr(at);
}

int ReadCount(const std::string& word) {
  int count = 0;
  // Beyond the bound a count would take gigabytes; several commands still make more.
  if (!ParseWhole(word, count) || count < 0 || count > kMostCreaturesAtOnce) {
    throw std::invalid_argument("bad count \"" + word + "\": expected a whole number from 0 to " +
                                std::to_string(kMostCreaturesAtOnce));
  }
  return count;
}

std::optional<int32_t> ReadLevel(const std::string& word) {
  if (word == "none") return std::nullopt;
  return ReadInt32(word, "level");
}

int32_t ReadInt32(const std::string& word, std::string_view what) {
  int32_t value = 0;
  if (!ParseWhole(word, value)) {
    throw std::invalid_argument("bad " + std::string(what) + " \"" + word +
                                "\": expected a whole number");
  }
  return value;
}

uint64_t ReadCreatureId(const std::string& word) {
  const std::string_view digits =
      !word.empty() && word[0] == '#' ? std::string_view(word).substr(1) : std::string_view(word);
  uint64_t id = 0;
  if (!ParseWhole(digits, id) || id == 0) {
    throw std::invalid_argument("bad creature id \"" + word + "\"");
  }
  return id;
}

double ReadSeconds(const std::string& word) {
  std::size_t used = 0;
  double seconds = -1;
  try {
    seconds = std::stod(word, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used != word.size() || !std::isfinite(seconds) || seconds < 0) {
    throw std::invalid_argument("bad number of seconds \"" + word + "\": expected 0 or more");
  }
  return seconds;
}
