#pragma once

#include <optional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

// The options of `kestrovar doctor`.
struct DoctorOptions {
  std::string server_dir;
  std::optional<std::string> plugin;
  std::vector<std::string> system_dirs;  // empty: the system folder on Windows, none elsewhere
  std::optional<std::string> classes;
  std::optional<std::string> pdb;
  std::string format = "text";
};

// Adds `doctor` to the program's subcommands.
CLI::App* AddDoctorCommand(CLI::App& app, DoctorOptions& options);

// Prints the findings and the verdict on standard output; returns 0 (nothing found), 1 (findings)
// or 2 (the server folder or a given file cannot be read).
int RunDoctor(const DoctorOptions& options);
