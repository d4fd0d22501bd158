#pragma once

// `kestrovar check`: finds, before the server does, every value of a config.json that the plug-in
// would reject or read differently from what it looks like.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/check/finding.h"

// Reads the file as the plug-in does and judges it. With a classes file (one class key, reference
// text or dump line a line), limits are also matched against the classes the server has.
// Findings come in file order.
std::vector<Finding> CheckConfigFile(const std::string& path,
                                     const std::optional<std::string>& classes_file = std::nullopt);

// The same for a text already read; `file` names it in the findings.
std::vector<Finding> CheckConfigText(std::string_view text, const std::string& file,
                                     const std::optional<std::vector<std::string>>& classes = {});
