#pragma once

// A JSON reader that remembers where each value and member name stands in the text (line and
// column, both from 1), so that a scenario file's errors can point at the place. Strict JSON: no
// comments, no trailing commas; one value and nothing after it but white space.

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

struct TextPlace {
  int line = 1;
  int column = 1;
};

// An error at a place in a named text: "FILE:LINE:COLUMN: MESSAGE".
class LocatedError : public std::runtime_error {
 public:
  LocatedError(const std::string& file, TextPlace place, const std::string& message);
  TextPlace place;
};

struct LocatedJson {
  enum class Kind { Null, Boolean, Number, String, Array, Object };
  struct Member;

  Kind kind = Kind::Null;
  TextPlace place;
  bool boolean = false;
  double number = 0;
  bool integral = false;  // the number was written without fraction or exponent
  std::string text;       // a string's value, UTF-8
  std::vector<LocatedJson> items;
  std::vector<Member> members;  // in file order

  const Member* Find(std::string_view name) const;
};

struct LocatedJson::Member {
  std::string name;
  TextPlace place;  // of the name
  LocatedJson value;
};

// The kind's name as an error message uses it: "an object", "a number", ...
std::string KindName(LocatedJson::Kind kind);

// Throws LocatedError naming `file`.
LocatedJson ReadLocatedJson(std::string_view text, const std::string& file);
