#pragma once

// Entries of the server's log. An entry starts with its time: "MM/DD/YY HH:MM" (seconds allowed)
// as the plug-in's logger writes it, or "[YYYY-MM-DD HH:MM:SS.mmm]" as the logging library writes
// by default. "[LOGGER][LEVEL] " (or "[LOGGER] [LEVEL] ") and the message follow. A message of
// several lines goes on in the lines after the first, which have no time of their own: the
// plug-in's "Failed to reload config!" puts the reader's error there.

#include <optional>
#include <string_view>

struct LogEntryStart {
  std::string_view time;    // as written: "12/07/26 21:30:05" or "2026-12-07 21:30:05.123"
  std::string_view logger;  // empty when the line names none
  std::string_view level;
  std::string_view message;  // the message's first line
};

// The first line of an entry, read; empty when the line starts no entry.
std::optional<LogEntryStart> ReadLogEntryStart(std::string_view line);
