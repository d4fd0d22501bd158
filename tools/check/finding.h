#pragma once

// One thing `kestrovar check` has to say about a configuration file.

#include <string>
#include <vector>

// A note tells what was not checked; it changes no exit status.
enum class Severity { kNote, kWarning, kError };

struct Finding {
  Severity severity = Severity::kWarning;
  std::string file;  // the file the position refers to
  int line = 0;      // 1-based; 0 when the finding has no place in the file
  int column = 0;    // 1-based, in characters as an editor counts them
  std::string code;  // a short name that scripts can match, e.g. "limit-wrong-type"
  std::string message;
  std::string fix;  // one line
  // The input could not be used at all (a file that cannot be read): the check is incomplete.
  bool unusable_input = false;
};

// 0: nothing to report; 1: warnings or errors in the configuration; 2: an input that could not be
// used.
int ExitStatusOf(const std::vector<Finding>& findings);
