#include "tools/scenario/located_json.h"

#include <cmath>
#include <cstdlib>

namespace {

class Reader {
 public:
  Reader(std::string_view text, const std::string& file) : text_(text), file_(file) {}

  LocatedJson Document() {
    SkipSpace();
    LocatedJson value = Value();
    SkipSpace();
    if (pos_ < text_.size()) Fail("expected the end of the file after the value");
    return value;
  }

 private:
  [[noreturn]] void Fail(const std::string& message) const {
    throw LocatedError(file_, place_, message);
  }

  bool AtEnd() const { return pos_ >= text_.size(); }
  char Peek() const { return AtEnd() ? '\0' : text_[pos_]; }

  void Step() {
    if (text_[pos_] == '\n') {
      ++place_.line;
      place_.column = 1;
    } else if ((static_cast<unsigned char>(text_[pos_]) & 0xC0) != 0x80) {
      ++place_.column;  // a column is a character, not a byte
    }
    ++pos_;
  }

  void SkipSpace() {
    while (!AtEnd() && (Peek() == ' ' || Peek() == '\t' || Peek() == '\n' || Peek() == '\r')) {
      Step();
    }
  }

  void Expect(char wanted, const char* what) {
    if (Peek() != wanted) Fail(std::string("expected ") + what);
    Step();
  }

  LocatedJson Value() {
    LocatedJson value;
    value.place = place_;
    switch (Peek()) {
      case '{':
        ReadObject(value);
        break;
      case '[':
        ReadArray(value);
        break;
      case '"':
        value.kind = LocatedJson::Kind::String;
        value.text = String();
        break;
      case 't':
      case 'f':
      case 'n':
        ReadWord(value);
        break;
      default:
        if (Peek() == '-' || (Peek() >= '0' && Peek() <= '9')) {
          ReadNumber(value);
        } else if (AtEnd()) {
          Fail("expected a value, found the end of the file");
        } else {
          Fail("expected a value (an object, an array, a string, a number, true, false or null)");
        }
    }
    return value;
  }

  void ReadObject(LocatedJson& value) {
    value.kind = LocatedJson::Kind::Object;
    Step();
    SkipSpace();
    if (Peek() == '}') {
      Step();
      return;
    }
    while (true) {
      SkipSpace();
      LocatedJson::Member member;
      member.place = place_;
      if (Peek() != '"') Fail("expected a member name in double quotes");
      member.name = String();
      SkipSpace();
      Expect(':', "':' after the member name");
      SkipSpace();
      member.value = Value();
      value.members.push_back(std::move(member));
      SkipSpace();
      if (Peek() == ',') {
        Step();
        continue;
      }
      Expect('}', "',' or '}' after a member");
      return;
    }
  }

  void ReadArray(LocatedJson& value) {
    value.kind = LocatedJson::Kind::Array;
    Step();
    SkipSpace();
    if (Peek() == ']') {
      Step();
      return;
    }
    while (true) {
      SkipSpace();
      value.items.push_back(Value());
      SkipSpace();
      if (Peek() == ',') {
        Step();
        continue;
      }
      Expect(']', "',' or ']' after an element");
      return;
    }
  }

  void ReadWord(LocatedJson& value) {
    for (const char* word : {"true", "false", "null"}) {
      if (text_.substr(pos_, std::char_traits<char>::length(word)) == word) {
        for (const char* c = word; *c != '\0'; ++c) Step();
        value.kind = word[0] == 'n' ? LocatedJson::Kind::Null : LocatedJson::Kind::Boolean;
        value.boolean = word[0] == 't';
        return;
      }
    }
    Fail("expected a value (an object, an array, a string, a number, true, false or null)");
  }

  void Digits() {
    if (!(Peek() >= '0' && Peek() <= '9')) Fail("expected a digit");
    while (Peek() >= '0' && Peek() <= '9') Step();
  }

  void ReadNumber(LocatedJson& value) {
    const std::size_t start = pos_;
    value.kind = LocatedJson::Kind::Number;
    value.integral = true;
    if (Peek() == '-') Step();
    if (Peek() == '0') {
      Step();
    } else {
      Digits();
    }
    if (Peek() == '.') {
      value.integral = false;
      Step();
      Digits();
    }
    if (Peek() == 'e' || Peek() == 'E') {
      value.integral = false;
      Step();
      if (Peek() == '+' || Peek() == '-') Step();
      Digits();
    }
    const std::string written(text_.substr(start, pos_ - start));
    value.number = std::strtod(written.c_str(), nullptr);
    if (!std::isfinite(value.number)) {
      place_ = value.place;
      Fail("the number " + written + " is too large");
    }
  }

  void AppendUtf8(std::string& out, unsigned code) {
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }

  unsigned Hex4() {
    unsigned code = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = Peek();
      unsigned digit = 0;
      if (c >= '0' && c <= '9') {
        digit = static_cast<unsigned>(c - '0');
      } else if (c >= 'a' && c <= 'f') {
        digit = static_cast<unsigned>(c - 'a' + 10);
      } else if (c >= 'A' && c <= 'F') {
        digit = static_cast<unsigned>(c - 'A' + 10);
      } else {
        Fail("expected four hexadecimal digits after \\u");
      }
      code = code * 16 + digit;
      Step();
    }
    return code;
  }

  std::string String() {
    Step();  // the opening quote
    std::string out;
    while (true) {
      if (AtEnd()) Fail("expected '\"' to close the string, found the end of the file");
      const char c = Peek();
      if (c == '"') {
        Step();
        return out;
      }
      if (static_cast<unsigned char>(c) < 0x20)
        Fail("expected '\"' to close the string on its line");
      if (c != '\\') {
        out += c;
        Step();
        continue;
      }
      Step();
      const char escaped = Peek();
      const std::string_view simple = "\"\\/bfnrt";
      const std::string_view meaning = "\"\\/\b\f\n\r\t";
      if (const auto at = simple.find(escaped); at != std::string_view::npos && !AtEnd()) {
        out += meaning[at];
        Step();
      } else if (escaped == 'u') {
        Step();
        unsigned code = Hex4();
        if (code >= 0xD800 && code < 0xDC00 && Peek() == '\\') {
          Step();
          Expect('u', "a low surrogate after a high one");
          const unsigned low = Hex4();
          code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        }
        AppendUtf8(out, code);
      } else {
        Fail("expected an escape: \\\" \\\\ \\/ \\b \\f \\n \\r \\t or \\uXXXX");
      }
    }
  }

  std::string_view text_;
  const std::string& file_;
  std::size_t pos_ = 0;
  TextPlace place_;
};

}  // namespace

LocatedError::LocatedError(const std::string& file, TextPlace where, const std::string& message)
    : std::runtime_error(file + ":" + std::to_string(where.line) + ":" +
                         std::to_string(where.column) + ": " + message),
      place(where) {}

const LocatedJson::Member* LocatedJson::Find(std::string_view name) const {
  for (const Member& member : members) {
    if (member.name == name) return &member;
  }
  return nullptr;
}

std::string KindName(LocatedJson::Kind kind) {
  switch (kind) {
    case LocatedJson::Kind::Null:
      return "null";
    case LocatedJson::Kind::Boolean:
      return "true or false";
    case LocatedJson::Kind::Number:
      return "a number";
    case LocatedJson::Kind::String:
      return "a string";
    case LocatedJson::Kind::Array:
      return "an array";
    case LocatedJson::Kind::Object:
      return "an object";
  }
  return "a value";
}

LocatedJson ReadLocatedJson(std::string_view text, const std::string& file) {
  // A UTF-8 byte-order mark is no content.
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  return Reader(text, file).Document();
}
