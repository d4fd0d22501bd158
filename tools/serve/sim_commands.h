#pragma once

#include <string>
#include <string_view>
#include <vector>

// Runs one "sim.*" line (its words, and the whole line for verbs that take the rest as text) and
// prints its result. Bad input throws std::invalid_argument; nothing has happened then.
void RunSimCommand(const std::vector<std::string>& words, std::string_view line);

struct SimCommandHelp {
  std::string usage;  // "sim.spawn REF [COUNT] [LEVEL|none]"
  std::string what;   // one short line
};

// Every sim.* command, in the order `help` lists them.
const std::vector<SimCommandHelp>& SimCommandsHelp();

// Game time in seconds as sim.advance prints it, to the millisecond: "3600", "68.239".
std::string GameTimeText(double seconds);
