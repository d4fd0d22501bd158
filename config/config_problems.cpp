#include "config/config_problems.h"

#include <spdlog/logger.h>

#include <set>
#include <string>

#include "plugin/plugin.h"

namespace {
std::set<std::string, std::less<>> reported_problems;
}

void ReportConfigProblem(std::string_view message) {
  if (reported_problems.find(message) != reported_problems.end()) return;
  reported_problems.emplace(message);
  if (PluginLogger) {
    PluginLogger->error("Unusable value in config.json, creatures are kept and counted: {}",
                        message);
  }
}

void ForgetConfigProblems() { reported_problems.clear(); }
