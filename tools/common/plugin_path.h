#pragma once

#include <string>

// The plug-in the program runs when no --plugin is given: the Kestrovar library beside the program
// (a build folder), else the one of the release archive's layout, where the program sits in
// `kestrovar/` beside `ArkApi/Plugins/Kestrovar/`. The second is the archive's own plug-in wherever
// the archive was unpacked; the program's folder must be named `kestrovar`, so that a program
// copied elsewhere never picks up whatever library lies near it. When neither file exists, the
// first path, which the load's error then names.
std::string DefaultPluginPath();
// The same for a given program folder.
std::string DefaultPluginPath(const std::string& program_dir);

// The --plugin option's help text of the commands that load the plug-in.
inline constexpr const char* kPluginOptionHelp =
    "The plug-in library (default: the Kestrovar library beside this program, else, for the "
    "release archive's kestrovar/kestrovar.exe, the archive's "
    "ArkApi/Plugins/Kestrovar/Kestrovar.dll)";
