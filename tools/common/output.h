#pragma once

#include <string_view>

// One line of the program's output, on standard output (the same stream as the server's).
void PrintLine(std::string_view line);
// One line on standard error.
void PrintError(std::string_view line);
