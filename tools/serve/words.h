#pragma once

// Splitting a command line into words and reading the numbers in it. Every reader throws
// std::invalid_argument with a message that names the bad word.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

std::vector<std::string> SplitWords(std::string_view line);
// What follows the first `words` words of a line, its spacing kept, the blanks before it dropped.
std::string_view RestOfLine(std::string_view line, std::size_t words);

int ReadCount(const std::string& word);                     // 0 to kMostCreaturesAtOnce
std::optional<int32_t> ReadLevel(const std::string& word);  // an int32, or "none"
int32_t ReadInt32(const std::string& word, std::string_view what);
uint64_t ReadCreatureId(const std::string& word);  // "3" or "#3"
double ReadSeconds(const std::string& word);       // a decimal, 0 or more
