#include "tools/rcon/rcon_target.h"

#include <CLI/CLI.hpp>
#include <cstdlib>

#include "tools/common/exit_codes.h"
#include "tools/common/files.h"
#include "tools/common/output.h"
#include "tools/common/rcon_packets.h"

std::optional<HostPort> ParseHostPort(std::string_view text, std::string* why) {
  const auto fail = [&](const std::string& reason) -> std::optional<HostPort> {
    if (why != nullptr) {
      *why = "expected HOST:PORT (e.g. 127.0.0.1:27020, [::1]:27020), found \"" +
             std::string(text) + "\": " + reason;
    }
    return std::nullopt;
  };
  HostPort target;
  std::string_view port;
  if (!text.empty() && text.front() == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos) return fail("no ] after the IPv6 address");
    target.host = std::string(text.substr(1, close - 1));
    if (close + 1 >= text.size() || text[close + 1] != ':') return fail("no :PORT after ]");
    port = text.substr(close + 2);
  } else {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) return fail("no :PORT");
    target.host = std::string(text.substr(0, colon));
    if (target.host.find(':') != std::string::npos) {
      return fail("an IPv6 address goes in brackets");
    }
    port = text.substr(colon + 1);
  }
  if (target.host.empty()) return fail("no host");
  if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != port.npos) {
    return fail("the port is not a number from 1 to 65535");
  }
  const long number = std::strtol(std::string(port).c_str(), nullptr, 10);
  if (number < 1 || number > 65535) return fail("the port is not a number from 1 to 65535");
  target.port = static_cast<uint16_t>(number);
  return target;
}

std::string HostPortError(const std::string& text) {
  std::string why;
  return ParseHostPort(text, &why) ? std::string() : why;
}

void AddPasswordOptions(CLI::App& command, PasswordOptions& options) {
  CLI::Option* file =
      command
          .add_option("--password-file", options.file,
                      "A file that holds the RCON password alone (one line); or set " +
                          std::string(kPasswordVariable))
          ->type_name("FILE");
  command
      .add_option("--password", options.given,
                  "The RCON password itself: every user of this machine can see it in the "
                  "process list; prefer --password-file")
      ->excludes(file)
      ->type_name("PASSWORD")
      ->check([](const std::string& password) {
        return password.empty() ? std::string("the RCON password must not be empty")
                                : std::string();
      });
}

std::string PasswordFromFileText(std::string text, const std::string& file) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  const auto refuse = [&](const std::string& why) {
    return PasswordError(kExitUnusableInput, "the password file " + file + " " + why);
  };
  if (text.empty()) throw refuse("is empty");
  if (text.find_first_of("\r\n") != std::string::npos) {
    throw refuse("holds more than one line; it should hold the password alone");
  }
  if (text.find('\0') != std::string::npos) throw refuse("holds a NUL byte: it is no password");
  if (text.size() > rcon::kMaxBodyPerPacket) throw refuse("holds more than fits in a packet");
  return text;
}

std::string ResolvePassword(const PasswordOptions& options, std::string_view command) {
  if (!options.file.empty()) {
    std::string why;
    std::optional<std::string> text = ReadWholeFile(options.file, &why);
    if (!text) {
      throw PasswordError(kExitUnusableInput,
                          "cannot read the password file " + options.file + ": " + why);
    }
    return PasswordFromFileText(std::move(*text), options.file);
  }
  if (!options.given.empty()) {
    PrintError(std::string(command) +
               ": warning: --password shows the password to every user of this machine who "
               "lists its processes; use --password-file FILE or " +
               kPasswordVariable);
    return options.given;
  }
  const char* variable = std::getenv(kPasswordVariable);
  if (variable != nullptr && *variable != '\0') return variable;
  throw PasswordError(kExitUsage, "no RCON password: give --password-file FILE or set " +
                                      std::string(kPasswordVariable));
}
