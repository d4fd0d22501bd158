#pragma once

// Reads a configuration text with the JSON library exactly as the plug-in does (byte-order mark
// skipped, comments rejected, text after the first value not read) and notes where the values that
// the plug-in looks at stand in the text.

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct TextPosition {
  int line = 0;    // 1-based
  int column = 0;  // 1-based, in bytes, as the library's own messages count
};

// A member of the top-level object (parent -1), or of an object that is the value of one (parent:
// the index of that member in the same list). In file order; a name given twice appears twice.
struct MemberPlace {
  std::string name;
  TextPosition name_at;
  TextPosition value_at;
  int parent = -1;
};

struct ReadFailure {
  std::string message;  // the library's own
  TextPosition at;
};

struct PositionedDocument {
  // The document as the plug-in holds it after reading the same text; null after a failure.
  nlohmann::json document;
  std::optional<ReadFailure> failure;
  TextPosition top_level_at;
  std::vector<MemberPlace> members;
  // Where text that the reader never looked at begins, when there is some.
  std::optional<TextPosition> ignored_text_at;
};

PositionedDocument ReadPositioned(std::string_view text);

// The text of a file as the plug-in's reader receives it: through a text-mode stream, so that line
// ends arrive as the plug-in sees them. Empty when the file cannot be opened.
std::optional<std::string> ReadTextAsThePluginDoes(const std::string& path);
