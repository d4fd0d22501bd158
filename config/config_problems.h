#pragma once

// A configuration value of the wrong type is found only when a detour asks for it. The detours
// contain the error and report it here: once per distinct message until the next successful read,
// so that a bad value cannot flood the log at every spawn.

#include <string_view>

void ReportConfigProblem(std::string_view message);
// Called after every successful read of the configuration.
void ForgetConfigProblems();
