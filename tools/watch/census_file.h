#pragma once

// A census stored as the plug-in stores its own: DinoDumpLog_<dd-mm-YYYY_HH-MM-SS>.txt (local
// time), the reply's text through a text-mode stream, so that the file holds the same bytes as the
// plug-in's on this platform.

#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// "DinoDumpLog_08-12-2026_14-05-10.txt" for `when` in local time.
std::string DumpFileName(std::time_t when);

// Writes `text` to DIR/NAME unless a file of that name is there already (returns false then: an
// operator's file, or a census of the same second, is never replaced). Throws FileError.
bool StoreDump(const std::filesystem::path& file, std::string_view text);

// Stores `text` in DIR under the name of `when`, or, when that name is taken (the clocks went back
// and a local time came again, or an operator's file has it), under the first free name of the
// seconds after it: no census is lost and no file replaced. Returns the name used, and in `later`
// how many seconds it is placed after `when`; empty when every name of the hour after is taken.
// Throws FileError.
std::optional<std::string> StoreCensus(const std::filesystem::path& dir, std::time_t when,
                                       std::string_view text, int& later);
