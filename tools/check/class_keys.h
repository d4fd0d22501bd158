#pragma once

// Class keys as `kestrovar check` handles them: in UTF-8, as config.json holds them, formed and
// compared by the plug-in's own rules.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// UTF-16 units of UTF-8 text; a byte that starts no valid sequence becomes U+FFFD.
std::u16string Utf16FromUtf8(std::string_view text);

// Whether a text has the form of every key the plug-in forms: "Blueprint'" ... "'".
bool HasClassKeyForm(std::string_view text);

// The key of the class with this reference text, in UTF-8.
std::string ClassKeyOfReference(std::string_view reference_text);

// The class keys listed in a file, one a line: a class key, a reference text (turned into its key),
// or a line of a dump ("KEY. Num: N"). Blank lines and lines starting with '#' are skipped. Empty
// when the file cannot be opened.
std::optional<std::vector<std::string>> ReadClassList(const std::string& path);

// The candidate nearest to `name` by edit distance, letter case ignored; empty when there is none.
std::string ClosestOf(std::string_view name, const std::vector<std::string>& candidates);
