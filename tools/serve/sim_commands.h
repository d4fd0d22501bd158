#pragma once

#include <string>
#include <string_view>
#include <vector>

// Runs one "sim.*" line (its words, and the whole line for verbs that take the rest as text) and
// prints its result. Bad input throws std::invalid_argument; nothing has happened then.
void RunSimCommand(const std::vector<std::string>& words, std::string_view line);
