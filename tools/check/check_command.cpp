#include "tools/check/check_command.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <exception>
#include <iostream>
#include <iterator>
#include <string>

#include "tools/check/config_check.h"
#include "tools/check/print_findings.h"
#include "tools/common/files.h"

namespace {

constexpr const char* kStandardInput = "(standard input)";

void Append(std::vector<Finding>& findings, std::vector<Finding> more) {
  findings.insert(findings.end(), std::make_move_iterator(more.begin()),
                  std::make_move_iterator(more.end()));
}

std::vector<Finding> CheckOne(const std::string& config,
                              const std::optional<ServerClasses>& classes) {
  std::optional<std::vector<std::string>> keys;
  ClassListKind kind = ClassListKind::kAllClasses;
  if (classes) {
    keys = classes->keys;
    kind = classes->kind;
  }
  if (config != "-") return CheckConfigFile(config, keys, kind);
  std::string why;
  const std::optional<std::string> text = ReadStandardInput(&why);
  if (!text) {
    return {Finding{Severity::kError, kStandardInput, 0, 0, "unreadable-file",
                    "cannot read standard input: " + why, "give the file's path instead of -",
                    true}};
  }
  return CheckConfigText(*text, kStandardInput, keys, kind);
}

}  // namespace

CLI::App* AddCheckCommand(CLI::App& app, CheckOptions& options) {
  CLI::App* check = app.add_subcommand(
      "check",
      "Read each config.json exactly as the plug-in does and report, with line and column, every "
      "value that it would reject or read differently from what it looks like. Exit code: 0 "
      "nothing found (notes aside), 1 findings reported, 2 a file that could not be used, 64 bad "
      "usage.");
  // Paths begin with "/" under Wine and on other systems; they are never options here.
  check->allow_windows_style_options(false);
  check->add_option("CONFIG", options.configs, "The configuration files; - reads standard input")
      ->required();
  check->add_option("--classes", options.classes,
                    "The server's classes: its log or a dump file (kvar.dumpdinos lines), or class "
                    "keys and reference texts one a line (- reads standard input); limits are then "
                    "matched against them");
  check->add_option("--format", options.format, "text (default) or json")
      ->check(CLI::IsMember({"text", "json"}));
  // Standard input can be read once.
  check->callback([&options] {
    const auto dashes = std::count(options.configs.begin(), options.configs.end(), "-");
    if (dashes > 1) {
      throw CLI::ValidationError("CONFIG", "- (standard input) is given " + std::to_string(dashes) +
                                               " times; it can be read once");
    }
    if (dashes > 0 && options.classes == "-") {
      throw CLI::ValidationError("--classes",
                                 "- (standard input) is also a configuration to check, and it "
                                 "can be read once; give one of them as a file");
    }
  });
  return check;
}

int RunCheck(const CheckOptions& options) {
  std::vector<Finding> findings;
  try {
    std::optional<ServerClasses> classes;
    if (options.classes) Append(findings, ReadClassesForCheck(*options.classes, classes));
    for (const std::string& config : options.configs) Append(findings, CheckOne(config, classes));
  } catch (const std::exception& error) {
    findings.push_back(Finding{Severity::kError, "kestrovar check", 0, 0, "check-failed",
                               std::string("the check stopped: ") + error.what(),
                               "report this, with the file, to the plug-in's developers", true});
  }
  PrintFindings(findings, options.format == "json" ? FindingsFormat::kJson : FindingsFormat::kText,
                std::cout);
  std::cout.flush();
  return ExitStatusOf(findings);
}
