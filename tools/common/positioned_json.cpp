#include "tools/common/positioned_json.h"

#include <algorithm>
#include <cstddef>
#include <fstream>
#include <iterator>

namespace {

using nlohmann::json;

bool IsWhitespace(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool IsStructural(unsigned char c) {
  return c == '{' || c == '}' || c == '[' || c == ']' || c == ':' || c == ',';
}

// Watches the bytes in the order the library's reader takes them, so that when the reader reports a
// value, the byte where that value began is known. It only tells strings from what lies between
// them; the reading itself is the library's.
class TokenStarts {
 public:
  explicit TokenStarts(std::string_view text)
      : text_(text), byte_order_mark_(text.starts_with("\xEF\xBB\xBF") ? 3 : 0) {}

  void Take(std::size_t offset) {
    taken_ = offset + 1;
    if (offset < byte_order_mark_) return;
    const auto c = static_cast<unsigned char>(text_[offset]);
    if (in_string_) {
      if (escaped_) {
        escaped_ = false;
      } else if (c == '\\') {
        escaped_ = true;
      } else if (c == '"') {
        in_string_ = false;
        between_tokens_ = true;
      }
      return;
    }
    if (c == '"') {
      in_string_ = true;
      string_start_ = offset;
    } else if (IsWhitespace(c)) {
      between_tokens_ = true;
    } else if (IsStructural(c)) {
      bracket_start_ = offset;
      between_tokens_ = true;
    } else {
      // A number or a literal. The reader takes one byte past a number before it reports it; that
      // byte is never the start of another number or literal, so this start stays the number's.
      if (between_tokens_) scalar_start_ = offset;
      between_tokens_ = false;
    }
  }

  std::size_t string_start() const { return string_start_; }
  std::size_t scalar_start() const { return scalar_start_; }
  std::size_t bracket_start() const { return bracket_start_; }
  std::size_t taken() const { return taken_; }

 private:
  std::string_view text_;
  std::size_t byte_order_mark_;
  bool in_string_ = false;
  bool escaped_ = false;
  bool between_tokens_ = true;
  std::size_t string_start_ = 0;
  std::size_t scalar_start_ = 0;
  std::size_t bracket_start_ = 0;
  std::size_t taken_ = 0;
};

// The library reads through this iterator; each byte it takes is shown to TokenStarts.
class TakingIterator {
 public:
  using iterator_category = std::input_iterator_tag;
  using value_type = char;
  using difference_type = std::ptrdiff_t;
  using pointer = const char*;
  using reference = const char&;

  TakingIterator(std::string_view text, std::size_t offset, TokenStarts* starts)
      : text_(text), offset_(offset), starts_(starts) {}

  reference operator*() const { return text_[offset_]; }
  TakingIterator& operator++() {
    starts_->Take(offset_);
    ++offset_;
    return *this;
  }
  TakingIterator operator++(int) {
    TakingIterator before = *this;
    ++*this;
    return before;
  }
  friend bool operator==(const TakingIterator& a, const TakingIterator& b) {
    return a.offset_ == b.offset_;
  }

 private:
  std::string_view text_;
  std::size_t offset_;
  TokenStarts* starts_;
};

class LineStarts {
 public:
  explicit LineStarts(std::string_view text) {
    starts_.push_back(0);
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\n') starts_.push_back(i + 1);
    }
  }
  TextPosition At(std::size_t offset) const {
    const auto next = std::upper_bound(starts_.begin(), starts_.end(), offset);
    const std::size_t line = static_cast<std::size_t>(next - starts_.begin());
    return {static_cast<int>(line), static_cast<int>(offset - starts_[line - 1] + 1)};
  }

 private:
  std::vector<std::size_t> starts_;
};

// Builds the document with the library's own builder (the one that `>>` uses) and notes the places
// of the members the plug-in reads: those of the top-level object and one level below.
class PlacingReader {
 public:
  PlacingReader(PositionedDocument& out, const TokenStarts& starts, const LineStarts& lines)
      : out_(out), starts_(starts), lines_(lines), builder_(out.document, true) {}

  bool null() {
    Value(starts_.scalar_start());
    return builder_.null();
  }
  bool boolean(bool value) {
    Value(starts_.scalar_start());
    return builder_.boolean(value);
  }
  bool number_integer(json::number_integer_t value) {
    Value(starts_.scalar_start());
    return builder_.number_integer(value);
  }
  bool number_unsigned(json::number_unsigned_t value) {
    Value(starts_.scalar_start());
    return builder_.number_unsigned(value);
  }
  bool number_float(json::number_float_t value, const json::string_t& text) {
    Value(starts_.scalar_start());
    return builder_.number_float(value, text);
  }
  bool string(json::string_t& value) {
    Value(starts_.string_start());
    return builder_.string(value);
  }
  bool binary(json::binary_t& value) { return builder_.binary(value); }
  bool start_object(std::size_t elements) {
    Open(starts_.bracket_start());
    return builder_.start_object(elements);
  }
  bool end_object() {
    Close();
    return builder_.end_object();
  }
  bool start_array(std::size_t elements) {
    Open(starts_.bracket_start());
    return builder_.start_array(elements);
  }
  bool end_array() {
    Close();
    return builder_.end_array();
  }
  bool key(json::string_t& name) {
    pending_member_ = -1;
    const std::size_t depth = owners_.size();
    if (depth == 1 || (depth == 2 && owners_[1] >= 0)) {
      MemberPlace member;
      member.name = name;
      member.name_at = lines_.At(starts_.string_start());
      member.parent = depth == 1 ? -1 : owners_[1];
      pending_member_ = static_cast<int>(out_.members.size());
      out_.members.push_back(std::move(member));
    }
    return builder_.key(name);
  }
  bool parse_error(std::size_t position, const std::string& /*last_token*/,
                   const nlohmann::detail::exception& error) {
    // The library counts the byte it could not use (or the end of the text) as read.
    out_.failure = ReadFailure{error.what(), lines_.At(position == 0 ? 0 : position - 1)};
    return false;
  }

 private:
  void Value(std::size_t start) {
    if (owners_.empty()) out_.top_level_at = lines_.At(start);
    if (pending_member_ >= 0) out_.members[pending_member_].value_at = lines_.At(start);
  }
  void Open(std::size_t start) {
    Value(start);
    owners_.push_back(pending_member_);
    pending_member_ = -1;
  }
  void Close() {
    owners_.pop_back();
    pending_member_ = -1;
  }

  PositionedDocument& out_;
  const TokenStarts& starts_;
  const LineStarts& lines_;
  nlohmann::detail::json_sax_dom_parser<json> builder_;
  // For each open object or array, the member whose value it is (-1: none noted).
  std::vector<int> owners_;
  int pending_member_ = -1;
};

bool IsNumberByte(unsigned char c) {
  return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E';
}

}  // namespace

PositionedDocument ReadPositioned(std::string_view text) {
  PositionedDocument out;
  TokenStarts starts(text);
  const LineStarts lines(text);
  PlacingReader reader(out, starts, lines);
  // Not strict, comments not allowed: what `>>` does.
  const bool read =
      json::sax_parse(TakingIterator(text, 0, &starts), TakingIterator(text, text.size(), &starts),
                      &reader, json::input_format_t::json, false, false);
  if (!read || out.failure) {
    out.document = json();
    return out;
  }
  std::size_t end = starts.taken();
  // After a number the reader has taken one byte more than the number.
  if (out.document.is_number() && end > 0 &&
      !IsNumberByte(static_cast<unsigned char>(text[end - 1]))) {
    --end;
  }
  const auto rest =
      std::find_if(text.begin() + static_cast<std::ptrdiff_t>(end), text.end(),
                   [](char c) { return !IsWhitespace(static_cast<unsigned char>(c)); });
  if (rest != text.end())
    out.ignored_text_at = lines.At(static_cast<std::size_t>(rest - text.begin()));
  return out;
}

std::optional<std::string> ReadTextAsThePluginDoes(const std::string& path) {
  std::ifstream file(path);
  if (!file.is_open()) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}
