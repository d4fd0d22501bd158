#include "tools/check/print_findings.h"

#include <nlohmann/json.hpp>
#include <string>

#include "tools/common/text_bytes.h"

const char* SeverityName(Severity severity) {
  switch (severity) {
    case Severity::kError:
      return "error";
    case Severity::kWarning:
      return "warning";
    default:
      return "note";
  }
}

namespace {

std::string Counted(std::size_t count, const char* what) {
  return std::to_string(count) + " " + what + (count == 1 ? "" : "s");
}

void PrintText(const std::vector<Finding>& findings, std::ostream& out) {
  std::size_t errors = 0;
  std::size_t warnings = 0;
  for (const Finding& finding : findings) {
    // Names and messages may quote any byte of an operator's file.
    out << PrintableText(finding.file);
    if (finding.line > 0) out << ':' << finding.line << ':' << finding.column;
    out << ": " << SeverityName(finding.severity) << ": " << PrintableText(finding.message) << " ["
        << finding.code << "]\n"
        << "  fix: " << PrintableText(finding.fix) << '\n';
    if (finding.severity == Severity::kError) ++errors;
    if (finding.severity == Severity::kWarning) ++warnings;
  }
  if (errors + warnings == 0) {
    out << "no problems found\n";
  } else {
    out << Counted(errors, "error") << ", " << Counted(warnings, "warning") << '\n';
  }
}

}  // namespace

nlohmann::ordered_json FindingsJson(const std::vector<Finding>& findings) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const Finding& finding : findings) {
    nlohmann::ordered_json entry = {
        {"file", finding.file}, {"line", nullptr},
        {"column", nullptr},    {"severity", SeverityName(finding.severity)},
        {"code", finding.code}, {"message", finding.message},
        {"fix", finding.fix}};
    if (finding.line > 0) {
      entry["line"] = finding.line;
      entry["column"] = finding.column;
    }
    list.push_back(std::move(entry));
  }
  return list;
}

namespace {

void PrintJson(const std::vector<Finding>& findings, std::ostream& out) {
  const nlohmann::ordered_json list = FindingsJson(findings);
  // Messages quote the library's texts, which may hold any byte of the file.
  out << list.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
}

}  // namespace

void PrintFindings(const std::vector<Finding>& findings, FindingsFormat format, std::ostream& out) {
  if (format == FindingsFormat::kJson) {
    PrintJson(findings, out);
  } else {
    PrintText(findings, out);
  }
}
