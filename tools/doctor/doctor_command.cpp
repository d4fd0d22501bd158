#include "tools/doctor/doctor_command.h"

#include <CLI/CLI.hpp>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <nlohmann/json.hpp>

#include "tools/check/print_findings.h"
#include "tools/doctor/doctor_checks.h"

namespace {

// Where Windows keeps its own DLLs and the Visual C++ runtime's.
std::vector<std::string> DefaultSystemDirs() {
#if defined(_WIN32)
  for (const char* variable : {"SystemRoot", "windir"}) {
    const char* root = std::getenv(variable);
    if (root != nullptr && *root != '\0') return {std::string(root) + "\\System32"};
  }
  return {"C:\\Windows\\System32"};
#else
  return {};
#endif
}

}  // namespace

CLI::App* AddDoctorCommand(CLI::App& app, DoctorOptions& options) {
  CLI::App* doctor = app.add_subcommand(
      "doctor",
      "Check a server folder before the server starts: will the plug-in load there? It reads the "
      "files only (nothing is loaded or run): the plug-in (a 64-bit Microsoft-ABI build, not the "
      "MinGW one), the host version.dll (every name the plug-in imports from it; not our "
      "stand-in), the runtime DLLs (found, and new enough), the plug-in's config.json (as `check` "
      "reads it), the folder layout, and the game build: the server program's database (.pdb, "
      "beside the server's .exe, or --pdb) must have every game function the plug-in calls or "
      "detours and every field it reads, with the signatures and types it assumes "
      "(docs/game-abi.md). Run it after every game update, before you restart. What files "
      "cannot tell: the host's method tables, and what the game's functions do. Exit code: 0 "
      "nothing found, 1 findings reported (the plug-in will not load or does not fit the game "
      "build), 2 the folder, a given file or the game's database cannot be read, 64 bad usage.");
  doctor->allow_windows_style_options(false);
  doctor
      ->add_option("SERVER_DIR", options.server_dir,
                   "The folder that holds the host (version.dll) and ArkApi/Plugins/")
      ->required();
  doctor->add_option("--plugin", options.plugin,
                     "The plug-in to check (default: SERVER_DIR/ArkApi/Plugins/Kestrovar/"
                     "Kestrovar.dll)");
  doctor
      ->add_option("--system-dir", options.system_dirs,
                   "Where runtime DLLs are looked for after SERVER_DIR; may be given more than "
                   "once (default: the Windows system folder on Windows, none elsewhere)")
      ->expected(1)
      ->take_all();  // one folder per --system-dir, so that SERVER_DIR may follow it
  doctor->add_option("--classes", options.classes,
                     "The server's classes (its log after a kvar.dumpdinos, or a dump file): the "
                     "configuration's limits are matched against them, as `check --classes` does");
  doctor->add_option("--pdb", options.pdb,
                     "The server program's database (.pdb) to check the game build with "
                     "(default: the .pdb beside a server .exe in SERVER_DIR or "
                     "SERVER_DIR/ShooterGame/Binaries/Win64)");
  doctor
      ->add_option("--format", options.format,
                   "text (default) or json: the findings, the verdict, \"loads\" and "
                   "\"fits_game_build\" (true, "
                   "false, or null when the doctor cannot tell) for scripts")
      ->check(CLI::IsMember({"text", "json"}));
  return doctor;
}

int RunDoctor(const DoctorOptions& options) {
  DoctorInput input{options.server_dir, options.plugin,
                    options.system_dirs.empty() ? DefaultSystemDirs() : options.system_dirs,
                    options.classes, options.pdb};
  DoctorReport report;
  try {
    report = RunDoctorChecks(input);
  } catch (const std::exception& error) {
    report.findings.push_back(Finding{Severity::kError, "kestrovar doctor", 0, 0, "doctor-failed",
                                      std::string("the doctor stopped: ") + error.what(),
                                      "report this, with the folder's files, to the plug-in's "
                                      "developers",
                                      true});
  }
  const std::string verdict = DoctorVerdict(report);
  if (options.format == "json") {
    // "loads" for scripts: true, false, or null when the doctor could not tell; "fits_game_build"
    // likewise, null also when no program database was checked.
    const std::optional<bool> loads = DoctorLoads(report);
    const nlohmann::ordered_json fits =
        report.game_build == GameBuildState::kFits     ? nlohmann::ordered_json(true)
        : report.game_build == GameBuildState::kMisfit ? nlohmann::ordered_json(false)
                                                       : nlohmann::ordered_json(nullptr);
    nlohmann::ordered_json out = {{"findings", FindingsJson(report.findings)},
                                  {"verdict", verdict},
                                  {"loads", loads ? nlohmann::ordered_json(*loads) : nullptr},
                                  {"fits_game_build", fits},
                                  {"runtime_checked", !report.runtime_unchecked}};
    std::cout << out.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
  } else {
    PrintFindings(report.findings, FindingsFormat::kText, std::cout);
    std::cout << verdict << '\n';
  }
  std::cout.flush();
  return ExitStatusOf(report.findings);
}
