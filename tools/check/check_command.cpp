#include "tools/check/check_command.h"

#include <CLI/CLI.hpp>
#include <exception>
#include <iostream>
#include <string>

#include "tools/check/config_check.h"
#include "tools/check/print_findings.h"
#include "tools/common/output.h"

CLI::App* AddCheckCommand(CLI::App& app, CheckOptions& options) {
  CLI::App* check = app.add_subcommand(
      "check",
      "Read a config.json exactly as the plug-in does and report, with line and column, every "
      "value that it would reject or read differently from what it looks like. Exit code: 0 "
      "nothing found, 1 warnings only, 2 errors, 64 bad usage.");
  // Paths begin with "/" under Wine and on other systems; they are never options here.
  check->allow_windows_style_options(false);
  check->add_option("CONFIG", options.config, "The configuration file")->required();
  check->add_option("--classes", options.classes,
                    "The server's classes, one a line: a class key, a reference text, or a "
                    "kvar.dumpdinos line; limits are then matched against them");
  check->add_option("--format", options.format, "text (default) or json")
      ->check(CLI::IsMember({"text", "json"}));
  return check;
}

int RunCheck(const CheckOptions& options) {
  try {
    const std::vector<Finding> findings = CheckConfigFile(options.config, options.classes);
    PrintFindings(findings,
                  options.format == "json" ? FindingsFormat::kJson : FindingsFormat::kText,
                  std::cout);
    std::cout.flush();
    return ExitStatusOf(findings);
  } catch (const std::exception& error) {
    PrintError(std::string("kestrovar check: ") + error.what());
    return 2;
  }
}
