#pragma once

#include <optional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

// The options of `kestrovar check`.
struct CheckOptions {
  std::vector<std::string> configs;  // "-": standard input
  std::optional<std::string> classes;
  std::string format = "text";
};

// Adds `check` to the program's subcommands.
CLI::App* AddCheckCommand(CLI::App& app, CheckOptions& options);

// Prints the findings on standard output; returns 0 (nothing to report), 1 (findings in the
// configuration) or 2 (an input that could not be used).
int RunCheck(const CheckOptions& options);

// Bad usage of `check` exits with 64; other subcommands keep the library's own codes.
constexpr int kCheckUsageError = 64;
