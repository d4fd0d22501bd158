#pragma once

// What `kestrovar rcon` and `kestrovar watch` need before they connect: the server's HOST:PORT and
// the RCON password, from a file, the environment or (shown to every process lister) the command
// line.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace CLI {
class App;
class Option;
}  // namespace CLI

struct HostPort {
  std::string host;  // an IPv6 address without its brackets
  uint16_t port = 0;
};

// "HOST:PORT", "[IPv6]:PORT"; empty with `why` set when it is none.
std::optional<HostPort> ParseHostPort(std::string_view text, std::string* why = nullptr);
// The option's check, for CLI11.
std::string HostPortError(const std::string& text);

// The environment variable that holds the password when no option gives it.
inline constexpr const char* kPasswordVariable = "KESTROVAR_RCON_PASSWORD";

struct PasswordOptions {
  std::string file;   // --password-file
  std::string given;  // --password
};

// Adds --password-file and --password (the two exclude each other).
void AddPasswordOptions(CLI::App& command, PasswordOptions& options);

// Why no password could be had, and the exit code that goes with it: 64 when none was given, 2
// when the file cannot be used.
class PasswordError : public std::runtime_error {
 public:
  PasswordError(int exit_code, const std::string& what)
      : std::runtime_error(what), exit_code_(exit_code) {}
  int exit_code() const { return exit_code_; }

 private:
  int exit_code_;
};

// The password: the file's (its line end dropped), --password's (with a warning on standard error,
// `command` naming who warns), or the environment's. Throws PasswordError.
std::string ResolvePassword(const PasswordOptions& options, std::string_view command);

// The password file's text as a password: one line, its line end dropped. Throws PasswordError.
std::string PasswordFromFileText(std::string text, const std::string& file);
