#pragma once

// The exit codes of every `kestrovar` command.
inline constexpr int kExitOk = 0;             // done, nothing to report
inline constexpr int kExitWarnings = 1;       // done, with warnings or configuration errors
inline constexpr int kExitUnusableInput = 2;  // a file that cannot be read or used
inline constexpr int kExitUsage = 64;         // bad usage, parser errors included
inline constexpr int kExitInterrupted = 130;  // stopped by Ctrl-C, the work so far written
