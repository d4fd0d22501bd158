#pragma once

// A census stored as the plug-in stores its own: DinoDumpLog_<dd-mm-YYYY_HH-MM-SS>.txt (local
// time), the reply's text through a text-mode stream, so that the file holds the same bytes as the
// plug-in's on this platform.

#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

// "DinoDumpLog_08-12-2026_14-05-10.txt" for `when` in local time.
std::string DumpFileName(std::time_t when);

// Writes `text` to DIR/NAME unless a file of that name is there already (returns false then: an
// operator's file, or a census of the same second, is never replaced). Throws FileError.
bool StoreDump(const std::filesystem::path& file, std::string_view text);
