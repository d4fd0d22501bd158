#pragma once

// Letter case as the plug-in's count table folds it: A-Z only, every other byte as it is. UTF-8
// text keeps its other letters unchanged, so the fold never breaks a sequence.

#include <string>
#include <string_view>

char FoldAscii(char c);
std::string FoldAsciiCase(std::string_view text);
bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b);
bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view start);
