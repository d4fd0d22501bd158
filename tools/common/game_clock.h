#pragma once

// Game time as the reports show it.

#include <string>

// Game hours as hours and minutes since the start: 0:00, 12:05, 250:30 (rounded to the minute).
std::string Clock(double hours);
