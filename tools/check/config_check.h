#pragma once

// `kestrovar check`: finds, before the server does, every value of a config.json that the plug-in
// would reject or read differently from what it looks like.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/check/finding.h"

enum class ClassListKind {
  kAllClasses,  // every class the server has: a limit on a class not in it never applies
  kMetSoFar,    // a dump or the log: the classes the plug-in had met, so more may come
};

struct ServerClasses {
  std::vector<std::string> keys;
  ClassListKind kind = ClassListKind::kAllClasses;
};

// Reads a list of the server's classes (its log, a dump file, or class keys and reference texts one
// a line) into `classes`, and says what in it could not be read. `classes` stays empty when the
// list is unusable; the findings then say why.
std::vector<Finding> ReadClassesForCheck(const std::string& path,
                                         std::optional<ServerClasses>& classes);

// Reads the file as the plug-in does and judges it. With the server's classes (class keys), limits
// are also matched against them. Findings come in file order.
std::vector<Finding> CheckConfigFile(const std::string& path,
                                     const std::optional<std::vector<std::string>>& classes = {},
                                     ClassListKind kind = ClassListKind::kAllClasses);

// The same for a text already read; `file` names it in the findings.
std::vector<Finding> CheckConfigText(std::string_view text, const std::string& file,
                                     const std::optional<std::vector<std::string>>& classes = {},
                                     ClassListKind kind = ClassListKind::kAllClasses);
