#pragma once

// Reads a JSON text with the JSON library exactly as the plug-in reads its configuration
// (byte-order mark skipped, comments rejected, text after the first value not read) and notes where
// every value and every member name stands in the text, at any depth. `kestrovar check` and the
// scenario reader both read through it.

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A place in a text, as an editor shows it: the line from 1, and the column from 1 counted in
// characters (UTF-8 sequences), the byte-order mark not counted.
struct TextPosition {
  int line = 0;
  int column = 0;
};

struct MemberPlaces;

// Where a value begins and, for an object or an array, where each of its parts stands.
struct ValuePlaces {
  TextPosition at;
  // An object's members in file order: a name given twice appears twice, while the document keeps
  // only the later value.
  std::vector<MemberPlaces> members;
  // An array's items, in order.
  std::vector<ValuePlaces> items;

  // The member whose value the document holds under `name` (the last one given), or null.
  const MemberPlaces* Find(std::string_view name) const;
};

struct MemberPlaces {
  std::string name;  // as the document holds it, U+0000 and all
  TextPosition name_at;
  ValuePlaces value;
};

struct ReadFailure {
  std::string message;  // the library's own, as the server's log shows it
  TextPosition at;      // the start of the token the reader could not use, or where it stopped
  // When the text most likely lacks a comma between two values: just after the earlier value.
  std::optional<TextPosition> missing_comma_at;
};

struct PositionedDocument {
  // The document as the plug-in holds it after reading the same text; null after a failure.
  nlohmann::json document;
  std::optional<ReadFailure> failure;
  // The places of the top-level value; after a failure, of what was read before it.
  ValuePlaces places;
  // Where text that the reader never looked at begins, when there is some.
  std::optional<TextPosition> ignored_text_at;
};

PositionedDocument ReadPositioned(std::string_view text);

// The text of a file as the plug-in's reader receives it: through a text-mode stream, so that line
// ends arrive as the plug-in sees them. Empty when the file cannot be opened or read, or is not a
// regular file; `why` then says what was wrong, when given.
std::optional<std::string> ReadTextAsThePluginDoes(const std::string& path,
                                                   std::string* why = nullptr);
