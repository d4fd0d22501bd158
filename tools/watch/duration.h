#pragma once

// Durations as operators write them: 30s, 10m, 1h, 1h30m, 2d (a bare number is seconds; ms for the
// tests' shorter intervals).

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

std::optional<std::chrono::milliseconds> ParseDuration(std::string_view text);
// "1h30m", "45s", "250ms": the shortest way to write it.
std::string FormatDuration(std::chrono::milliseconds duration);
