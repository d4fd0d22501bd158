#pragma once

#include <nlohmann/json.hpp>
#include <ostream>
#include <vector>

#include "tools/check/finding.h"

enum class FindingsFormat { kText, kJson };

// "error", "warning" or "note", as findings print it.
const char* SeverityName(Severity severity);

// Text: one "FILE:LINE:COLUMN: severity: message" line and an indented "fix:" line per finding,
// then a summary line. JSON: one array of objects with the same fields, for scripts.
void PrintFindings(const std::vector<Finding>& findings, FindingsFormat format, std::ostream& out);

// The findings as the JSON format prints them, for a command that adds more around them.
nlohmann::ordered_json FindingsJson(const std::vector<Finding>& findings);
