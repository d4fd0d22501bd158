#pragma once

// `kestrovar doctor`: whether the plug-in will load in a server folder, as far as the files can
// tell. It reads the files only; nothing is loaded or run.

#include <optional>
#include <string>
#include <vector>

#include "tools/check/finding.h"
#include "tools/doctor/game_build_check.h"

// The name that only our stand-in host exports, so that it is never taken for a real host.
inline constexpr const char* kStandInMarker = "KestrovarStandInHost";

struct DoctorInput {
  std::string server_dir;             // holds version.dll and ArkApi/Plugins/
  std::optional<std::string> plugin;  // default: ArkApi/Plugins/Kestrovar/Kestrovar.dll
  // Where runtime DLLs are looked for after the server folder; none: they are not checked there.
  std::vector<std::string> system_dirs;
  // The server's classes (its log or a dump file), to match the configuration's limits against.
  std::optional<std::string> classes = std::nullopt;
  // The server program's database; none: looked for beside the server's program.
  std::optional<std::string> pdb = std::nullopt;
};

struct DoctorReport {
  std::vector<Finding> findings;
  // Runtime DLLs that were not found in the server folder and could not be looked for elsewhere.
  bool runtime_unchecked = false;
  // Whether the plug-in's game functions and fields fit the server program's database.
  GameBuildState game_build = GameBuildState::kUnchecked;
};

DoctorReport RunDoctorChecks(const DoctorInput& input);

// Whether the plug-in will load in this folder, as far as the files can tell; none when an input
// of the doctor's own could not be used.
std::optional<bool> DoctorLoads(const DoctorReport& report);

// The closing line: whether the plug-in will load in this folder and fits its game build, as far
// as the files can tell.
std::string DoctorVerdict(const DoctorReport& report);
