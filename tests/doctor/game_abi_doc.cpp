// Prints docs/game-abi.md from the table of host/game_abi.h.

#include <iostream>

#include "tools/doctor/game_build_check.h"

int main() {
  std::cout << GameAbiDocument();
  return std::cout.good() ? 0 : 1;
}
