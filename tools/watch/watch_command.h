#pragma once

// `kestrovar watch HOST:PORT --every DURATION --out DIR`: a census over RCON (kvar.dumpdinos) at
// each interval, stored in DIR as the plug-in stores its dump files, with DIR's report kept up to
// date and, with --prometheus, a file for node_exporter's textfile collector.

#include <chrono>
#include <string>

#include "tools/rcon/rcon_target.h"

namespace CLI {
class App;
}

struct WatchOptions {
  std::string address;  // HOST:PORT
  std::string every;    // as written; checked by the option
  std::string out_dir;
  std::string config;      // empty: none
  std::string prometheus;  // empty: none
  PasswordOptions password;
  double timeout_seconds = 10;
};

// The shortest --every an operator may give.
inline constexpr std::chrono::seconds kShortestInterval{10};
// For the tests only: a shorter floor, as a duration (e.g. 200ms), so that a test sees several
// censuses in a second or two.
inline constexpr const char* kTestFloorVariable = "KESTROVAR_TEST_WATCH_FLOOR";

// Adds `watch` to the program's subcommands.
CLI::App* AddWatchCommand(CLI::App& app, WatchOptions& options);
// Runs until Ctrl-C (130) or a wrong password (2); 2 also when DIR or a file cannot be used at the
// start, 64 for bad usage.
int RunWatch(const WatchOptions& options);

// The wait before the next try after a failed census: 1 s after the first failure (`last` zero),
// then twice the last wait, at most a minute.
std::chrono::milliseconds NextRetry(std::chrono::milliseconds last);
