#include "tools/common/positioned_json.h"

#include <algorithm>
#include <cstddef>
#include <exception>
#include <iterator>

#include "tools/common/files.h"
#include "tools/common/text_bytes.h"

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
      token_start_ = offset;
    } else if (IsWhitespace(c)) {
      between_tokens_ = true;
    } else if (IsStructural(c)) {
      bracket_start_ = offset;
      token_start_ = offset;
      between_tokens_ = true;
    } else {
      // A number or a literal. The reader takes one byte past a number before it reports it; that
      // byte is never the start of another number or literal, so this start stays the number's.
      if (between_tokens_) {
        scalar_start_ = offset;
        token_start_ = offset;
      }
      between_tokens_ = false;
    }
  }

  std::size_t string_start() const { return string_start_; }
  std::size_t scalar_start() const { return scalar_start_; }
  std::size_t bracket_start() const { return bracket_start_; }
  // Where the last token begun starts.
  std::size_t token_start() const { return token_start_; }
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
  std::size_t token_start_ = 0;
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
  explicit LineStarts(std::string_view text)
      : text_(text), byte_order_mark_(text.starts_with("\xEF\xBB\xBF") ? 3 : 0) {
    starts_.push_back(0);
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\n') starts_.push_back(i + 1);
    }
  }

  // Columns count characters as an editor shows them: a valid UTF-8 sequence is one, and so is
  // every byte that is none. A place inside a sequence is the sequence's own. Places are mostly
  // asked for in increasing order, so the count goes on from the last place asked for on the same
  // line.
  TextPosition At(std::size_t offset) const {
    offset = std::min(offset, text_.size());
    const auto next = std::upper_bound(starts_.begin(), starts_.end(), offset);
    const std::size_t line = static_cast<std::size_t>(next - starts_.begin());
    std::size_t from = std::max(starts_[line - 1], line == 1 ? byte_order_mark_ : 0);
    int column = 1;
    if (line == cached_line_ && cached_offset_ <= offset && cached_offset_ >= from) {
      from = cached_offset_;
      column = cached_column_;
    }
    std::size_t i = from;
    while (i < offset) {
      const std::size_t length = std::max<std::size_t>(1, Utf8SequenceAt(text_, i));
      if (i + length > offset) break;
      i += length;
      ++column;
    }
    cached_line_ = line;
    cached_offset_ = i;
    cached_column_ = column;
    return {static_cast<int>(line), column};
  }

 private:
  std::string_view text_;
  std::size_t byte_order_mark_;
  std::vector<std::size_t> starts_;
  mutable std::size_t cached_line_ = 0;
  mutable std::size_t cached_offset_ = 0;
  mutable int cached_column_ = 1;
};

// The first byte of the UTF-8 sequence that the byte at `at` (or the end of the text) breaks: its
// lead byte when up to three bytes before, else `at` itself.
std::size_t StartOfBrokenSequence(std::string_view text, std::size_t at) {
  at = std::min(at, text.size());
  for (std::size_t back = 1; back <= 3 && back <= at; ++back) {
    const auto byte = static_cast<unsigned char>(text[at - back]);
    if ((byte & 0xC0) == 0x80) continue;
    // A lead byte whose sequence would reach `at`.
    const std::size_t wants = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    return wants > back ? at - back : at;
  }
  return at;
}

// Builds the document with the library's own builder (the one that `>>` uses) and, beside it, the
// tree of places.
class PlacingReader {
 public:
  PlacingReader(PositionedDocument& out, const TokenStarts& starts, const LineStarts& lines,
                std::string_view text)
      : out_(out), starts_(starts), lines_(lines), text_(text), builder_(out.document, true) {}

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
    Open(true);
    return builder_.start_object(elements);
  }
  bool end_object() {
    Close();
    return builder_.end_object();
  }
  bool start_array(std::size_t elements) {
    Open(false);
    return builder_.start_array(elements);
  }
  bool end_array() {
    Close();
    return builder_.end_array();
  }
  bool key(json::string_t& name) {
    // Only the innermost open value grows, so the places of the outer ones stay where they are.
    open_.back()->members.push_back(
        MemberPlaces{name, lines_.At(starts_.string_start()), ValuePlaces{}});
    return builder_.key(name);
  }
  bool parse_error(std::size_t position, const std::string& /*last_token*/,
                   const nlohmann::detail::exception& error) {
    const std::string message = error.what();
    // The library counts the byte it could not use (or the end of the text) as read. A token that
    // was read whole but does not belong there is shown at its start.
    std::size_t stopped = position == 0 ? 0 : position - 1;
    // A byte that breaks a UTF-8 sequence is found only once the reader takes it: the place is
    // that of the sequence's first byte, the character an editor shows wrong.
    if (message.find("ill-formed UTF-8 byte") != std::string::npos) {
      stopped = StartOfBrokenSequence(text_, stopped);
    }
    const bool whole_token = message.find("last read:") == std::string::npos &&
                             message.find("unexpected end of input") == std::string::npos;
    const std::size_t at = whole_token ? starts_.token_start() : stopped;
    out_.failure = ReadFailure{message, lines_.At(at), std::nullopt};
    // A value where only a comma or the closing bracket may come: the comma is missing.
    const bool after_value = message.find("expected '}'") != std::string::npos ||
                             message.find("expected ']'") != std::string::npos;
    const bool value_follows = message.find("unexpected string literal") != std::string::npos ||
                               message.find("unexpected number literal") != std::string::npos ||
                               message.find("unexpected true literal") != std::string::npos ||
                               message.find("unexpected false literal") != std::string::npos ||
                               message.find("unexpected null literal") != std::string::npos ||
                               message.find("unexpected '{'") != std::string::npos ||
                               message.find("unexpected '['") != std::string::npos;
    if (whole_token && after_value && value_follows) {
      std::size_t end = std::min(at, text_.size());
      while (end > 0 && IsWhitespace(static_cast<unsigned char>(text_[end - 1]))) --end;
      out_.failure->missing_comma_at = lines_.At(end);
    }
    return false;
  }

 private:
  // The places of the value that begins at `start`: the top-level value, the value of the member
  // just named, or the next item of an array.
  ValuePlaces& Value(std::size_t start) {
    ValuePlaces* value = &out_.places;
    if (!open_.empty()) {
      ValuePlaces& owner = *open_.back();
      if (is_object_.back()) {
        value = &owner.members.back().value;
      } else {
        owner.items.emplace_back();
        value = &owner.items.back();
      }
    }
    value->at = lines_.At(start);
    return *value;
  }
  void Open(bool object) {
    ValuePlaces* value = &Value(starts_.bracket_start());
    open_.push_back(value);
    is_object_.push_back(object);
  }
  void Close() {
    open_.pop_back();
    is_object_.pop_back();
  }

  PositionedDocument& out_;
  const TokenStarts& starts_;
  const LineStarts& lines_;
  std::string_view text_;
  nlohmann::detail::json_sax_dom_parser<json> builder_;
  // The objects and arrays being read, outermost first.
  std::vector<ValuePlaces*> open_;
  std::vector<bool> is_object_;
};

bool IsNumberByte(unsigned char c) {
  return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E';
}

}  // namespace

PositionedDocument ReadPositioned(std::string_view text) {
  PositionedDocument out;
  TokenStarts starts(text);
  const LineStarts lines(text);
  PlacingReader reader(out, starts, lines, text);
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

const MemberPlaces* ValuePlaces::Find(std::string_view name) const {
  for (auto member = members.rbegin(); member != members.rend(); ++member) {
    if (member->name == name) return &*member;
  }
  return nullptr;
}

std::optional<std::string> ReadTextAsThePluginDoes(const std::string& path, std::string* why) {
  return ReadWholeFile(path, why, LineEnds::kAsTextStream);
}
