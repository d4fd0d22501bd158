#pragma once

// One thing `kestrovar check` has to say about a configuration file.

#include <string>
#include <vector>

enum class Severity { kWarning, kError };

struct Finding {
  Severity severity = Severity::kWarning;
  std::string file;  // the file the position refers to
  int line = 0;      // 1-based; 0 when the finding has no place in the file
  int column = 0;    // 1-based, in bytes as the JSON library counts them
  std::string code;  // a short name that scripts can match, e.g. "limit-wrong-type"
  std::string message;
  std::string fix;  // one line
};

// 0: nothing to report; 1: warnings only; 2: at least one error.
int ExitStatusOf(const std::vector<Finding>& findings);
