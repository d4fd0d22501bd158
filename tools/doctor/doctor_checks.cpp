#include "tools/doctor/doctor_checks.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <utility>

#include "tools/check/config_check.h"
#include "tools/doctor/msvc_names.h"
#include "tools/doctor/pe_image.h"
#include "tools/doctor/server_files.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kHostDll = "version.dll";
constexpr const char* kPluginDll = "Kestrovar.dll";
constexpr const char* kRedistributable = "Microsoft Visual C++ 2015-2022 Redistributable (x64)";
// What the `windows` preset's build takes from MinGW's runtime.
constexpr const char* kMinGwDlls[] = {"msvcrt.dll", "libstdc++-6.dll", "libgcc_s_seh-1.dll",
                                      "libwinpthread-1.dll"};

std::string Shown(const fs::path& path) { return path.lexically_normal().string(); }

std::string Readable(const std::string& name) {
  const std::optional<std::string> readable = ReadableMsvcName(name);
  return readable ? *readable + " (" + name + ")" : name;
}

// Up to five names of a list, and how many more.
std::string SomeOf(const std::vector<std::string>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size() && i < 5; ++i) text += (i ? ", " : "") + names[i];
  if (names.size() > 5) text += " and " + std::to_string(names.size() - 5) + " more";
  return text;
}

bool IsRedistributableDll(const std::string& lower) {
  return lower.rfind("msvcp140", 0) == 0 || lower.rfind("vcruntime140", 0) == 0 ||
         lower.rfind("concrt140", 0) == 0 || lower == "ucrtbase.dll";
}

// DLLs that every Windows installation has in its system folder, among them those a C++ library
// may import. Any other DLL comes with the program that needs it, or with a runtime it installs.
bool IsWindowsDll(const std::string& lower) {
  static constexpr const char* kWindows[] = {
      "advapi32.dll",   "bcrypt.dll",   "combase.dll",  "comctl32.dll", "comdlg32.dll",
      "crypt32.dll",    "d3d11.dll",    "d3d12.dll",    "dbghelp.dll",  "dwmapi.dll",
      "dxgi.dll",       "gdi32.dll",    "imm32.dll",    "iphlpapi.dll", "kernel32.dll",
      "kernelbase.dll", "mswsock.dll",  "ncrypt.dll",   "netapi32.dll", "ntdll.dll",
      "ole32.dll",      "oleaut32.dll", "powrprof.dll", "psapi.dll",    "rpcrt4.dll",
      "secur32.dll",    "setupapi.dll", "shell32.dll",  "shlwapi.dll",  "user32.dll",
      "userenv.dll",    "uxtheme.dll",  "version.dll",  "winhttp.dll",  "wininet.dll",
      "winmm.dll",      "wintrust.dll", "ws2_32.dll",   "wsock32.dll",  "wtsapi32.dll"};
  return std::find(std::begin(kWindows), std::end(kWindows), lower) != std::end(kWindows);
}

// What one DLL gives the plug-in, all its import entries together.
struct Needed {
  std::string dll;  // as the plug-in spells it
  std::vector<std::string> names;
  std::vector<std::uint32_t> ordinals;
};

// The DLLs that Windows loads with the plug-in (`delayed` false), or only at the plug-in's first
// call into each (`delayed` true: delay-loaded).
std::map<std::string, Needed> NeedsOf(const PeImage& image, bool delayed = false) {
  std::map<std::string, Needed> needs;
  for (const PeImport& import : image.imports) {
    if (import.delay_loaded != delayed) continue;
    Needed& needed = needs[LowerAscii(import.dll)];
    needed.dll = import.dll;
    needed.names.insert(needed.names.end(), import.names.begin(), import.names.end());
    needed.ordinals.insert(needed.ordinals.end(), import.ordinals.begin(), import.ordinals.end());
  }
  return needs;
}

class Doctor {
 public:
  explicit Doctor(const DoctorInput& input)
      : input_(input),
        server_(input.server_dir),
        plugin_folder_(server_ / "ArkApi" / "Plugins" / "Kestrovar") {}

  DoctorReport Run() {
    std::error_code error;
    if (!fs::is_directory(server_, error)) {
      Add(Severity::kError, input_.server_dir, "server-folder-unreadable",
          fs::exists(server_, error) ? "it is not a folder" : "there is no such folder",
          "give the folder that holds the host (version.dll) and ArkApi/Plugins/");
      report_.findings.back().unusable_input = true;
      return std::move(report_);
    }
    for (const std::string& dir : input_.system_dirs) {
      // Every Windows system folder holds kernel32.dll: without it, each DLL would read as missing.
      std::string why;
      if (!fs::is_directory(dir, error)) {
        why = fs::exists(dir, error) ? "it is not a folder" : "there is no such folder";
      } else if (fs::directory_iterator(dir, error) == fs::directory_iterator()) {
        why = error ? "it cannot be listed: " + error.message() : "it is empty";
      } else if (!FindInFolder(dir, "kernel32.dll")) {
        why = "it holds no kernel32.dll, which every Windows system folder has";
      }
      if (!why.empty()) {
        Add(Severity::kError, dir, "system-folder-unreadable",
            "the folder given with --system-dir is no Windows system folder: " + why,
            "give the folder that holds Windows' own DLLs (a copy of C:\\Windows\\System32), or "
            "leave --system-dir out");
        report_.findings.back().unusable_input = true;
        system_dirs_usable_ = false;
      }
    }
    const std::optional<PeImage> plugin = CheckPlugin();
    if (plugin) {
      const std::map<std::string, Needed> needs = NeedsOf(*plugin);
      const bool mingw = CheckAbi(needs);
      CheckHost(needs, mingw);
      CheckRuntime(needs);
      CheckRuntime(NeedsOf(*plugin, true), true);
    } else {
      CheckHost({}, false);
    }
    CheckConfiguration();
    CheckLayout();
    GameBuildResult game = CheckGameBuildIn(server_, input_.pdb);
    report_.game_build = game.state;
    for (Finding& finding : game.findings) report_.findings.push_back(std::move(finding));
    return std::move(report_);
  }

 private:
  Finding& Add(Severity severity, std::string file, const char* code, std::string message,
               std::string fix) {
    report_.findings.push_back(
        Finding{severity, std::move(file), 0, 0, code, std::move(message), std::move(fix), false});
    return report_.findings.back();
  }

  // The file read whole, or a finding (code-unreadable) that says why not.
  std::optional<PeReadResult> ReadLibrary(const fs::path& path, const std::string& what,
                                          const char* unreadable_code, const std::string& fix) {
    const FileBytes file = ReadWholeFile(path);
    if (file.outcome != FileBytes::Outcome::kRead) {
      Add(Severity::kError, Shown(path), unreadable_code,
          "cannot read " + what + ": " + file.problem, fix);
      return std::nullopt;
    }
    return ReadPeImage(file.bytes);
  }

  std::optional<PeImage> CheckPlugin() {
    const fs::path path = input_.plugin ? fs::path(*input_.plugin) : plugin_folder_ / kPluginDll;
    const std::string fix = "copy ArkApi/Plugins/Kestrovar/Kestrovar.dll from the release ZIP";
    const FileBytes file = ReadWholeFile(path);
    if (file.outcome == FileBytes::Outcome::kMissing && !input_.plugin) {
      Add(Severity::kError, Shown(path), "plugin-missing",
          "there is no plug-in here: the host loads Kestrovar from this file",
          fix + " to this place");
      return std::nullopt;
    }
    if (file.outcome != FileBytes::Outcome::kRead) {
      Add(Severity::kError, Shown(path), "plugin-unreadable",
          "cannot read the plug-in: " + file.problem, fix)
          .unusable_input = input_.plugin.has_value();
      return std::nullopt;
    }
    PeReadResult read = ReadPeImage(file.bytes);
    if (!read.image) {
      // A file the operator named that is no Windows library at all is a mistaken --plugin.
      const bool mistaken = read.not_pe && input_.plugin.has_value();
      Add(Severity::kError, Shown(path), read.not_pe ? "plugin-not-pe" : "plugin-damaged",
          "this is not a usable Windows library: " + read.problem,
          mistaken
              ? std::string("give --plugin the path of Kestrovar.dll")
              : fix + " again; the copy here is " + (read.not_pe ? "some other file" : "damaged"))
          .unusable_input = mistaken;
      return std::nullopt;
    }
    const PeImage& image = *read.image;
    if (image.machine != kMachineX64 || !image.pe32_plus) {
      Add(Severity::kError, Shown(path), "plugin-not-x64",
          "the plug-in is not built for 64-bit Windows (x86-64); the server is a 64-bit program",
          fix);
      return std::nullopt;
    }
    if (!image.is_dll) {
      Add(Severity::kError, Shown(path), "plugin-not-dll",
          "this is a Windows program, not a library: the host cannot load it as a plug-in", fix);
      return std::nullopt;
    }
    plugin_path_ = path;
    return std::move(read.image);
  }

  // The Microsoft C++ ABI: the `windows` preset's MinGW build fits our stand-in host only.
  bool CheckAbi(const std::map<std::string, Needed>& needs) {
    std::vector<std::string> signs;
    for (const char* dll : kMinGwDlls) {
      if (needs.count(dll)) signs.push_back("it imports from " + needs.at(dll).dll);
    }
    const auto host = needs.find(kHostDll);
    if (host != needs.end()) {
      for (const std::string& name : host->second.names) {
        if (!IsMsvcMangled(name)) {
          signs.push_back("its host imports are not named as Microsoft's compiler names them (" +
                          name + ")");
          break;
        }
      }
    } else {
      Add(Severity::kError, Shown(plugin_path_), "plugin-no-host-imports",
          "the library imports nothing from the host (version.dll): it is not a build of "
          "Kestrovar for the host",
          "copy ArkApi/Plugins/Kestrovar/Kestrovar.dll from the release ZIP");
    }
    if (signs.empty()) return false;
    std::string why;
    for (const std::string& sign : signs) why += (why.empty() ? "" : "; ") + sign;
    Add(Severity::kError, Shown(plugin_path_), "plugin-mingw-build",
        "this is the `windows` preset's MinGW build of the plug-in, which only our stand-in host "
        "can load: " +
            why,
        "deploy the Microsoft-ABI build: Kestrovar.dll of the release ZIP (`msvc-abi` preset)");
    return true;
  }

  void CheckHost(const std::map<std::string, Needed>& needs, bool mingw) {
    const std::optional<fs::path> found = FindInFolder(server_, kHostDll);
    const fs::path path = found ? *found : server_ / kHostDll;
    if (!found) {
      Add(Severity::kError, Shown(path), "host-missing",
          "there is no host (version.dll) beside the server: nothing will load the plug-in",
          "install the host first; SERVER_DIR is the folder that holds the server's program and "
          "version.dll");
      return;
    }
    std::optional<PeReadResult> read =
        ReadLibrary(path, "the host", "host-unreadable", "install the host again");
    if (!read) return;
    if (!read->image) {
      Add(Severity::kError, Shown(path), "host-damaged",
          "the host is not a usable Windows library: " + read->problem, "install the host again");
      return;
    }
    const PeImage& host = *read->image;
    if (host.machine != kMachineX64 || !host.pe32_plus) {
      Add(Severity::kError, Shown(path), "host-not-x64",
          "this version.dll is not built for 64-bit Windows: the server cannot load it",
          "install the host's 64-bit build");
    }
    if (ExportsName(host, kStandInMarker)) {
      Add(Severity::kError, Shown(path), "stand-in-host",
          "this version.dll is Kestrovar's stand-in host (from the kestrovar/ folder of the "
          "release "
          "ZIP or a build), not the server's host: it must never sit in a server",
          "put the server's own host back in its place; the stand-in runs only beside "
          "kestrovar.exe");
    }
    const auto wanted = needs.find(kHostDll);
    if (mingw || wanted == needs.end()) return;
    for (const std::string& name : wanted->second.names) {
      if (ExportsName(host, name)) continue;
      std::vector<std::string> others;
      if (const std::optional<std::string_view> head = MsvcNameHead(name)) {
        for (auto other = std::lower_bound(host.exports.begin(), host.exports.end(), *head);
             other != host.exports.end() &&
             std::string_view(*other).substr(0, head->size()) == *head;
             ++other) {
          others.push_back(*other);
        }
      }
      if (!others.empty()) {
        std::string theirs;
        for (const std::string& other : others)
          theirs += (theirs.empty() ? "" : "; ") + Readable(other);
        Add(Severity::kError, Shown(path), "host-signature-differs",
            "the host exports the operation that the plug-in needs with another signature: the "
            "plug-in needs " +
                Readable(name) + ", the host has " + theirs +
                "; this host and this build of the plug-in do not fit, and Windows will refuse to "
                "load the plug-in",
            "use a host and a Kestrovar build made for each other (docs/host-abi.md lists what "
            "this build needs)");
      } else {
        Add(Severity::kError, Shown(path), "host-export-missing",
            "the host does not export " + Readable(name) +
                ", which the plug-in needs: Windows will refuse to load the plug-in",
            "use a host that has this operation, or a Kestrovar build made for this host "
            "(docs/host-abi.md lists what this build needs)");
      }
    }
    for (const std::uint32_t ordinal : wanted->second.ordinals) {
      if (!ExportsOrdinal(host, ordinal)) {
        Add(Severity::kError, Shown(path), "host-export-missing",
            "the host has no export numbered " + std::to_string(ordinal) +
                ", which the plug-in needs: Windows will refuse to load the plug-in",
            "use a host and a Kestrovar build made for each other");
      }
    }
  }

  // Where Windows finds a DLL that the plug-in needs: the server's folder, then the system's.
  std::optional<fs::path> Locate(const std::string& dll, bool& in_server) const {
    in_server = false;
    if (std::optional<fs::path> found = FindInFolder(server_, dll)) {
      in_server = true;
      return found;
    }
    for (const std::string& dir : input_.system_dirs) {
      if (std::optional<fs::path> found = FindInFolder(dir, dll)) return found;
    }
    return std::nullopt;
  }

  // The runtime DLLs that Windows loads with the plug-in, or (`delayed`) those it loads only at
  // the plug-in's first call into each: a fault of such a DLL stops that call, not the load.
  void CheckRuntime(const std::map<std::string, Needed>& needs, bool delayed = false) {
    std::vector<std::string> unchecked;
    const Severity severity = delayed ? Severity::kWarning : Severity::kError;
    const std::string refused =
        delayed ? "Windows loads it only at the plug-in's first call into it, so the plug-in "
                  "loads, but that call would fail and stop the server"
                : "Windows will refuse to load the plug-in";
    for (const auto& [lower, needed] : needs) {
      if (lower == kHostDll && !delayed) continue;
      // API sets are names that Windows itself maps to its libraries; no file carries them.
      if (lower.rfind("api-ms-win-", 0) == 0 || lower.rfind("ext-ms-", 0) == 0) continue;
      const bool redistributable = IsRedistributableDll(lower);
      const bool windows = IsWindowsDll(lower);
      const std::string install =
          redistributable ? "install or repair the " + std::string(kRedistributable)
          : windows       ? std::string("this DLL is part of Windows: check the system folder")
                          : needed.dll +
                          " is neither part of Windows nor of the Microsoft C++ runtime: put "
                          "the copy that comes with the plug-in beside the server's program";
      bool in_server = false;
      const std::optional<fs::path> path = Locate(needed.dll, in_server);
      if (!path) {
        // Without a usable system folder a DLL not in the server folder is unknown, not missing.
        if (input_.system_dirs.empty() || !system_dirs_usable_) {
          unchecked.push_back(needed.dll);
        } else {
          Add(severity, needed.dll, delayed ? "runtime-delayed-missing" : "runtime-missing",
              "the plug-in " + std::string(delayed ? "delay-loads " : "needs ") + needed.dll +
                  ", which is neither in the server folder nor in the system folder: " + refused,
              install);
        }
        continue;
      }
      std::optional<PeReadResult> read = ReadLibrary(*path, needed.dll, "runtime-damaged", install);
      if (!read) continue;
      if (!read->image || read->image->machine != kMachineX64 || !read->image->pe32_plus) {
        Add(severity, Shown(*path), "runtime-damaged",
            "the " + needed.dll + " that Windows would give the plug-in is " +
                (read->image ? std::string("not built for 64-bit Windows")
                             : "not a usable library: " + read->problem),
            in_server ? "remove this copy from the server folder, so that the system's is used"
                      : install);
        continue;
      }
      std::vector<std::string> missing;
      for (const std::string& name : needed.names) {
        if (!ExportsName(*read->image, name)) missing.push_back(name);
      }
      for (const std::uint32_t ordinal : needed.ordinals) {
        if (!ExportsOrdinal(*read->image, ordinal))
          missing.push_back("#" + std::to_string(ordinal));
      }
      if (missing.empty()) continue;
      const std::string version = read->image->file_version
                                      ? " (version " + *read->image->file_version + ")"
                                      : std::string(" (it has no version resource)");
      std::string fix =
          redistributable ? "install the latest " + std::string(kRedistributable) + ": this copy" +
                                version + " is older than the plug-in needs"
          : windows ? "this DLL" + version + " is older than the plug-in needs: update Windows"
                    : "this copy" + version +
                          " is older than the plug-in needs: put the copy that comes with the "
                          "plug-in beside the server's program";
      // A copy of a system or runtime DLL beside the server hides the system's own.
      if (in_server && (redistributable || windows)) {
        fix = "remove this copy from the server folder, or " + fix;
      }
      Add(severity, Shown(*path), "runtime-export-missing",
          needed.dll + " lacks " + std::to_string(missing.size()) + " of the " +
              std::to_string(needed.names.size() + needed.ordinals.size()) +
              " names that the plug-in takes from it (" + SomeOf(missing) + "): " + refused,
          fix);
    }
    if (!unchecked.empty()) {
      report_.runtime_unchecked = true;
      Add(Severity::kNote, Shown(server_), "runtime-not-checked",
          "the plug-in also " + std::string(delayed ? "delay-loads " : "needs ") +
              SomeOf(unchecked) +
              ", not in this folder; no usable system folder was given to look "
              "for them in",
          "run the doctor on the server's machine, or give its system folder with --system-dir");
    }
  }

  void CheckConfiguration() {
    const std::optional<fs::path> found = FindInFolder(plugin_folder_, "config.json");
    if (!found) {
      Add(Severity::kError, Shown(plugin_folder_ / "config.json"), "config-missing",
          "the plug-in has no configuration here, and will fail to load without one",
          "copy the config.json of the release ZIP here (it limits nothing), then set your limits");
      return;
    }
    // The configuration is part of the folder, not an input of the doctor's own: whatever is wrong
    // with it is a finding.
    std::vector<Finding> findings;
    std::optional<ServerClasses> classes;
    if (input_.classes) {
      // A list given on the command line: what makes it unusable is the doctor's exit status 2.
      for (Finding& finding : ReadClassesForCheck(*input_.classes, classes)) {
        report_.findings.push_back(std::move(finding));
      }
    }
    std::optional<std::vector<std::string>> keys;
    if (classes) keys = classes->keys;
    const ClassListKind kind = classes ? classes->kind : ClassListKind::kAllClasses;
    for (Finding finding : CheckConfigFile(Shown(*found), keys, kind)) {
      finding.unusable_input = false;
      report_.findings.push_back(std::move(finding));
    }
  }

  void CheckLayout() {
    if (input_.plugin && plugin_path_ != fs::path()) {
      std::error_code error;
      const fs::path installed = plugin_folder_ / kPluginDll;
      if (!fs::equivalent(plugin_path_, installed, error)) {
        // Installing a file that fails the checks above would put it where the host loads it.
        const bool faulty = std::any_of(
            report_.findings.begin(), report_.findings.end(), [&](const Finding& finding) {
              return finding.severity == Severity::kError && finding.file == Shown(plugin_path_);
            });
        Add(Severity::kNote, Shown(plugin_path_), "plugin-elsewhere",
            "this plug-in is not the one the host loads (" + Shown(installed) +
                "): what the doctor found holds for this file",
            faulty ? "do not install this file: mend the errors above on it first"
                   : "copy it to " + Shown(installed) + " to install it");
      }
    }
    for (const char* name : {kPluginDll, "kestrovar.exe"}) {
      if (const std::optional<fs::path> stray = FindInFolder(server_, name)) {
        Add(Severity::kWarning, Shown(*stray), "stray-copy",
            std::string("a copy of ") + name +
                " sits beside the host: the host does not load it from there, and the files of "
                "the release ZIP's kestrovar/ folder (its stand-in version.dll among them) belong "
                "outside the server",
            "remove it; the plug-in belongs in ArkApi/Plugins/Kestrovar/");
      }
    }
    std::error_code error;
    for (const fs::path& folder : FoldersIn(server_ / "ArkApi" / "Plugins")) {
      if (fs::equivalent(folder, plugin_folder_, error)) continue;
      if (const std::optional<fs::path> copy = FindInFolder(folder, kPluginDll)) {
        Add(Severity::kWarning, Shown(*copy), "second-plugin-copy",
            "a second copy of the plug-in sits in another plug-in folder: two copies would limit "
            "the same spawns twice if the host loaded both",
            "remove it; only ArkApi/Plugins/Kestrovar/Kestrovar.dll belongs there");
      }
    }
  }

  const DoctorInput& input_;
  fs::path server_;
  fs::path plugin_folder_;
  fs::path plugin_path_;
  bool system_dirs_usable_ = true;  // every --system-dir is a folder
  DoctorReport report_;
};

}  // namespace

DoctorReport RunDoctorChecks(const DoctorInput& input) { return Doctor(input).Run(); }

namespace {

std::size_t CountOf(const DoctorReport& report, bool (*which)(const Finding&)) {
  return static_cast<std::size_t>(
      std::count_if(report.findings.begin(), report.findings.end(), which));
}
bool IsUnusableInput(const Finding& finding) { return finding.unusable_input; }
bool IsError(const Finding& finding) { return finding.severity == Severity::kError; }
bool IsGameBuildError(const Finding& finding) {
  return IsError(finding) && finding.code.rfind("game-", 0) == 0;
}

}  // namespace

std::optional<bool> DoctorLoads(const DoctorReport& report) {
  if (CountOf(report, IsUnusableInput) > 0) return std::nullopt;
  return CountOf(report, IsError) == 0;
}

std::string DoctorVerdict(const DoctorReport& report) {
  const std::size_t errors = CountOf(report, IsError);
  const std::string counted = std::to_string(errors) + (errors == 1 ? " error" : " errors");
  // An input the doctor could not use says nothing of the folder: no verdict on it.
  if (const std::size_t unusable = CountOf(report, IsUnusableInput); unusable > 0) {
    return "verdict: cannot tell whether the plug-in will load here" +
           std::string(report.game_build == GameBuildState::kUnreadable ? " and fit the game build"
                                                                        : "") +
           ": give the doctor usable input (" +
           (unusable == errors ? std::string(errors == 1 ? "the error" : "the errors") + " above"
                               : std::to_string(unusable) + " of the " + counted + " above " +
                                     (unusable == 1 ? "is" : "are") +
                                     " about input that the doctor could not use") +
           ")" +
           // A misfit found despite the unusable input is said, lest the verdict hide it.
           (report.game_build == GameBuildState::kMisfit
                ? "; the plug-in does not fit this game build either (errors above)"
                : "");
  }
  const std::size_t game_errors = CountOf(report, IsGameBuildError);
  if (errors == 0) {
    std::string verdict =
        report.game_build == GameBuildState::kFits
            ? "verdict: the plug-in will load in this folder and fits the game build, as far as "
              "its files can tell"
            : "verdict: the plug-in will load in this folder, as far as its files can tell";
    if (report.runtime_unchecked) verdict += " (the runtime DLLs outside it were not checked)";
    const auto unread = std::count_if(
        report.findings.begin(), report.findings.end(),
        [](const Finding& finding) { return finding.code == "game-function-unchecked"; });
    if (unread > 0) {
      verdict += "; " + std::to_string(unread) + " of the game's functions could not be read " +
                 "(warnings above)";
    }
    if (report.game_build == GameBuildState::kUnchecked) {
      verdict += "; the game build was not checked (no program database)";
    }
    return verdict;
  }
  if (game_errors == errors) {
    return "verdict: the plug-in does not fit this game build: do not start the server with it; "
           "fix the " +
           counted + " above";
  }
  return "verdict: the plug-in will not load in this folder, or not as configured" +
         std::string(game_errors > 0 ? ", or does not fit the game build" : "") + ": fix the " +
         counted + " above";
}
