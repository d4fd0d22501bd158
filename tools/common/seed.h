#pragma once

#include <cstdint>
#include <string>

// A seed of the world's random draws: a whole number from 0 to 2^64-1, written in decimal digits.
// Anything else (a sign, a fraction, a number out of range) throws std::invalid_argument naming
// the range.
uint64_t ParseSeed(const std::string& text);

// The same check as an option validator wants it: empty when `text` is a seed, else the message.
std::string SeedError(const std::string& text);
