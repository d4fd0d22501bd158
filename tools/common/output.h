#pragma once

#include <exception>
#include <string>
#include <string_view>

// One line of the program's output, on standard output (the same stream as the server's). Both
// parts are written as they are, with nothing allocated, so that a line can say that memory ran
// out.
void PrintLine(std::string_view line, std::string_view more = {}) noexcept;
// One line on standard error.
void PrintError(std::string_view line, std::string_view more = {}) noexcept;

// An error that ends a command's work, in the operator's words: running out of memory, and the file
// system's errors without the library's own wording ("filesystem error: ... [PATH]").
std::string ErrorText(const std::exception& error);
// Prints "PREFIX" + ErrorText(error) on standard error; when even that finds no memory, the
// error's own text.
void PrintFailure(std::string_view prefix, const std::exception& error) noexcept;
