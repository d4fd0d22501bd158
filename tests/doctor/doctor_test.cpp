// `kestrovar doctor` on server folders laid out from real libraries that our toolchains build
// (tests/doctor/CMakeLists.txt), with Wine's DLLs as the system folder.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "tests/doctor/pe_builder.h"
#include "tools/doctor/doctor_checks.h"

namespace fs = std::filesystem;

namespace {

const fs::path kFixtures = KESTROVAR_DOCTOR_FIXTURES;
const fs::path kWine = KESTROVAR_WINE_DLLS;
const fs::path kFullHost = kFixtures / "hosts" / "full" / "version.dll";
const fs::path kMsvcPlugin = kFixtures / "msvc-plugin" / "Kestrovar.dll";

// A server folder of the test's own, laid out as the operator's would be.
class Server {
 public:
  explicit Server(const std::string& name) : root_(fs::current_path() / "servers" / name) {
    fs::remove_all(root_);
    fs::create_directories(Plugins());
  }
  fs::path Root() const { return root_; }
  fs::path Plugins() const { return root_ / "ArkApi" / "Plugins" / "Kestrovar"; }
  Server& Copy(const fs::path& from, const fs::path& to) {
    fs::create_directories((root_ / to).parent_path());
    // Removed first: MinGW's copy_file fails to overwrite under Wine.
    fs::remove(root_ / to);
    fs::copy_file(from, root_ / to);
    return *this;
  }
  Server& Write(const fs::path& to, const std::string& bytes) {
    fs::create_directories((root_ / to).parent_path());
    std::ofstream(root_ / to, std::ios::binary) << bytes;
    return *this;
  }
  // The test host, the Microsoft-ABI plug-in, a clean configuration and, where the test game
  // builds are made, the server program of the full one with its database.
  Server& Complete() {
    Copy(kFullHost, "version.dll")
        .Copy(kMsvcPlugin, "ArkApi/Plugins/Kestrovar/Kestrovar.dll")
        .Copy(KESTROVAR_EXAMPLE_CONFIG, "ArkApi/Plugins/Kestrovar/config.json");
#if defined(KESTROVAR_GAME_FIXTURES)
    const fs::path game = fs::path(KESTROVAR_GAME_FIXTURES) / "full";
    Copy(game / "ShooterGameServer.exe", "ShooterGame/Binaries/Win64/ShooterGameServer.exe")
        .Copy(game / "ShooterGameServer.pdb", "ShooterGame/Binaries/Win64/ShooterGameServer.pdb");
#endif
    return *this;
  }

 private:
  fs::path root_;
};

DoctorReport Examine(const Server& server, std::vector<std::string> system_dirs = {kWine.string()},
                     std::optional<std::string> plugin = std::nullopt) {
  return RunDoctorChecks(DoctorInput{server.Root().string(), std::move(plugin), system_dirs});
}

// The codes of the findings that are not notes.
std::set<std::string> Codes(const DoctorReport& report) {
  std::set<std::string> codes;
  for (const Finding& finding : report.findings) {
    if (finding.severity != Severity::kNote) codes.insert(finding.code);
  }
  return codes;
}

const Finding* Find(const DoctorReport& report, const std::string& code) {
  for (const Finding& finding : report.findings) {
    if (finding.code == code) return &finding;
  }
  return nullptr;
}

std::string Describe(const DoctorReport& report) {
  std::string text;
  for (const Finding& finding : report.findings) {
    text +=
        finding.file + ": " + finding.code + ": " + finding.message + " / " + finding.fix + "\n";
  }
  return text;
}

void Truncate(const fs::path& path, std::uintmax_t size) { fs::resize_file(path, size); }

TEST(Doctor, ACompleteFolderLoads) {
  Server server("complete");
  server.Complete();
  const DoctorReport report = Examine(server);
  EXPECT_TRUE(Codes(report).empty()) << Describe(report);
  EXPECT_EQ(ExitStatusOf(report.findings), 0) << Describe(report);
#if defined(KESTROVAR_GAME_FIXTURES)
  EXPECT_EQ(DoctorVerdict(report),
            "verdict: the plug-in will load in this folder and fits the game build, as far as its "
            "files can tell");
#else
  EXPECT_EQ(DoctorVerdict(report),
            "verdict: the plug-in will load in this folder, as far as its files can tell; the game "
            "build was not checked (no program database)");
#endif
}

// Each faulty folder gives its own finding, and the verdict that the plug-in will not load.
TEST(Doctor, EachFaultyFolderHasItsFinding) {
  const fs::path config = "ArkApi/Plugins/Kestrovar/config.json";
  const fs::path plugin = "ArkApi/Plugins/Kestrovar/Kestrovar.dll";
  const auto lacking_runtime = fs::current_path() / "system-without-msvcp140";
  fs::remove_all(lacking_runtime);
  fs::create_directories(lacking_runtime);
  for (const char* dll : {"vcruntime140.dll", "ucrtbase.dll", "kernel32.dll"}) {
    fs::copy_file(kWine / dll, lacking_runtime / dll);
  }
  const struct {
    const char* name;
    void (*lay_out)(Server&);
    std::vector<std::string> system_dirs;
    std::set<std::string> codes;
    std::vector<std::string> said;  // in the message of the first code's finding, and its fix
  } cases[] = {
      {"host-lacks-a-name",
       [](Server& s) { s.Copy(kFixtures / "hosts/lacking/version.dll", "version.dll"); },
       {kWine.string()},
       {"host-export-missing"},
       {"API::Timer::DelayExecuteInternal(const std::function<void()>&, int) "
        "(?DelayExecuteInternal@Timer@API@@QEAAXAEBV?$function@$$A6AXXZ@std@@H@Z)",
        "Windows will refuse to load the plug-in"}},
      {"host-with-another-signature",
       [](Server& s) { s.Copy(kFixtures / "hosts/other-signature/version.dll", "version.dll"); },
       {kWine.string()},
       {"host-signature-differs"},
       {"needs API::Timer::DelayExecuteInternal(const std::function<void()>&, int) (",
        "the host has API::Timer::DelayExecuteInternal(const std::function<void()>&, unsigned "
        "int) (?DelayExecuteInternal@Timer@API@@QEAAXAEBV?$function@$$A6AXXZ@std@@I@Z)",
        "do not fit"}},
      {"stand-in-host",
       [](Server& s) { s.Copy(kFixtures / "hosts/stand-in/version.dll", "version.dll"); },
       {kWine.string()},
       {"stand-in-host"},
       {"stand-in host", "never sit in a server"}},
      {"mingw-plugin",
       [](Server& s) {
         s.Copy(kFixtures / "mingw-plugin/Kestrovar.dll", "ArkApi/Plugins/Kestrovar/Kestrovar.dll");
       },
       {kWine.string()},
       {"plugin-mingw-build"},
       {"`windows` preset's MinGW build", "msvcrt.dll", "_ZN3API5Timer3GetEv", "msvc-abi"}},
      {"no-host",
       [](Server& s) { fs::remove(s.Root() / "version.dll"); },
       {kWine.string()},
       {"host-missing"},
       {"no host"}},
      {"host-is-text",
       [](Server& s) { s.Write("version.dll", "not a library"); },
       {kWine.string()},
       {"host-damaged"},
       {"MZ header"}},
      {"no-config",
       [](Server& s) { fs::remove(s.Plugins() / "config.json"); },
       {kWine.string()},
       {"config-missing"},
       {"fail to load without one"}},
      {"config-is-a-folder",
       [](Server& s) {
         fs::remove(s.Plugins() / "config.json");
         fs::create_directory(s.Plugins() / "config.json");
       },
       {kWine.string()},
       {"unreadable-file"},
       {"folder"}},
      {"config-with-a-mistake",
       [](Server& s) {
         s.Write("ArkApi/Plugins/Kestrovar/config.json", "{\"Max_Dino_Counts\": {\"x\": \"3\"}}");
       },
       {kWine.string()},
       {"limit-wrong-type", "not-a-class-key"},
       {}},
      {"truncated-plugin",
       [](Server& s) { Truncate(s.Plugins() / "Kestrovar.dll", 1500); },
       {kWine.string()},
       {"plugin-damaged"},
       {"cut short", "release ZIP again"}},
      {"plugin-is-a-folder",
       [](Server& s) {
         fs::remove(s.Plugins() / "Kestrovar.dll");
         fs::create_directory(s.Plugins() / "Kestrovar.dll");
       },
       {kWine.string()},
       {"plugin-unreadable"},
       {"folder"}},
      {"no-plugin",
       [](Server& s) { fs::remove(s.Plugins() / "Kestrovar.dll"); },
       {kWine.string()},
       {"plugin-missing"},
       {"no plug-in"}},
      {"plugin-is-the-host",
       [](Server& s) { s.Copy(kFullHost, "ArkApi/Plugins/Kestrovar/Kestrovar.dll"); },
       {kWine.string()},
       {"plugin-no-host-imports"},
       {"imports nothing from the host"}},
      {"old-runtime-beside-the-host",
       [](Server& s) { s.Copy(kFixtures / "old-runtime/msvcp140.dll", "msvcp140.dll"); },
       {kWine.string()},
       {"runtime-export-missing"},
       {"msvcp140.dll lacks 1 of the 3 names", "_Mtx_lock", "remove this copy",
        "Microsoft Visual C++ 2015-2022 Redistributable (x64)", "version 14.0.23026.0"}},
      {"system-without-msvcp140",
       [](Server&) {},
       {lacking_runtime.string()},
       {"runtime-missing"},
       {"msvcp140.dll", "Microsoft Visual C++ 2015-2022 Redistributable (x64)"}},
      {"runtime-is-text",
       [](Server& s) { s.Write("vcruntime140.dll", "MZ"); },
       {kWine.string()},
       {"runtime-damaged"},
       {"not a usable library"}},
      {"copies-beside-the-host",
       [](Server& s) { s.Copy(kMsvcPlugin, "Kestrovar.dll").Write("KESTROVAR.EXE", "MZ"); },
       {kWine.string()},
       {"stray-copy"},
       {"beside the host"}},
      {"second-plugin-folder",
       [](Server& s) { s.Copy(kMsvcPlugin, "ArkApi/Plugins/Old/kestrovar.dll"); },
       {kWine.string()},
       {"second-plugin-copy"},
       {"second copy"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Server server(c.name);
    server.Complete();
    c.lay_out(server);
    const DoctorReport report = Examine(server, c.system_dirs);
    EXPECT_EQ(Codes(report), c.codes) << Describe(report);
    EXPECT_EQ(ExitStatusOf(report.findings), 1) << Describe(report);
    const Finding* finding = Find(report, *c.codes.begin());
    if (finding == nullptr) {
      ADD_FAILURE() << "no " << *c.codes.begin();
      continue;  // to the other cases
    }
    for (const std::string& words : c.said) {
      EXPECT_NE((finding->message + " / " + finding->fix).find(words), std::string::npos)
          << words << "\n"
          << Describe(report);
    }
    // Copies that the host does not load leave the plug-in loading; every other fault stops it.
    const bool loads = c.codes == std::set<std::string>{"stray-copy"} ||
                       c.codes == std::set<std::string>{"second-plugin-copy"};
    EXPECT_EQ(DoctorVerdict(report).find(loads ? "verdict: the plug-in will load"
                                               : "verdict: the plug-in will not load"),
              0u)
        << DoctorVerdict(report);
  }
}

TEST(Doctor, WithoutASystemFolderTheRuntimeIsNoted) {
  Server server("no-system-folder");
  server.Complete();
  const DoctorReport report = Examine(server, {});
  EXPECT_TRUE(Codes(report).empty()) << Describe(report);
  EXPECT_EQ(ExitStatusOf(report.findings), 0);
  const Finding* note = Find(report, "runtime-not-checked");
  ASSERT_NE(note, nullptr);
  EXPECT_NE(note->message.find("kernel32.dll, msvcp140.dll, ucrtbase.dll, vcruntime140.dll"),
            std::string::npos)
      << note->message;
  EXPECT_NE(DoctorVerdict(report).find("will load in this folder"), std::string::npos);
  EXPECT_NE(DoctorVerdict(report).find(
                "as far as its files can tell (the runtime DLLs outside it were not checked)"),
            std::string::npos)
      << DoctorVerdict(report);
  // A runtime DLL in the server folder is checked all the same.
  server.Copy(kFixtures / "old-runtime/msvcp140.dll", "msvcp140.dll");
  EXPECT_EQ(Codes(Examine(server, {})), std::set<std::string>{"runtime-export-missing"});
}

// What the doctor cannot use at all: exit status 2.
TEST(Doctor, AnUnusableFolderOrGivenFileIsExitStatusTwo) {
  Server server("unusable");
  server.Complete();
  const DoctorReport missing_folder = RunDoctorChecks(
      DoctorInput{(server.Root() / "no-such-folder").string(), std::nullopt, {kWine.string()}});
  EXPECT_EQ(ExitStatusOf(missing_folder.findings), 2);
  EXPECT_EQ(Codes(missing_folder), std::set<std::string>{"server-folder-unreadable"});
  const DoctorReport file_as_folder = RunDoctorChecks(
      DoctorInput{(server.Root() / "version.dll").string(), std::nullopt, {kWine.string()}});
  EXPECT_EQ(ExitStatusOf(file_as_folder.findings), 2);

  const DoctorReport missing_plugin =
      Examine(server, {kWine.string()}, (server.Root() / "no-such.dll").string());
  EXPECT_EQ(ExitStatusOf(missing_plugin.findings), 2) << Describe(missing_plugin);
  EXPECT_EQ(Codes(missing_plugin), std::set<std::string>{"plugin-unreadable"});
  const DoctorReport missing_system_dir = Examine(server, {(server.Root() / "nothing").string()});
  EXPECT_EQ(ExitStatusOf(missing_system_dir.findings), 2) << Describe(missing_system_dir);
}

// --plugin: the file given is checked, and the doctor says that the host loads another.
TEST(Doctor, AGivenPluginIsCheckedWhereItIs) {
  Server server("given-plugin");
  server.Complete();
  fs::remove(server.Plugins() / "Kestrovar.dll");
  DoctorReport report = Examine(server, {kWine.string()}, kMsvcPlugin.string());
  EXPECT_TRUE(Codes(report).empty()) << Describe(report);
  EXPECT_NE(Find(report, "plugin-elsewhere"), nullptr) << Describe(report);
  report = Examine(server, {kWine.string()}, (kFixtures / "mingw-plugin/Kestrovar.dll").string());
  EXPECT_EQ(Codes(report), std::set<std::string>{"plugin-mingw-build"}) << Describe(report);
}

// --classes: the configuration's limits are matched against the server's classes, as by `check`.
TEST(Doctor, TheServersClassesCheckTheLimits) {
  Server server("classes");
  server.Complete();
  const fs::path data = fs::path(KESTROVAR_EXAMPLE_CONFIG).parent_path();
  DoctorReport report = RunDoctorChecks(DoctorInput{
      server.Root().string(), std::nullopt, {kWine.string()}, (data / "server.log").string()});
  EXPECT_TRUE(report.findings.empty()) << Describe(report);
  report = RunDoctorChecks(DoctorInput{
      server.Root().string(), std::nullopt, {kWine.string()}, (data / "no-such.log").string()});
  EXPECT_EQ(ExitStatusOf(report.findings), 2) << Describe(report);
}

// A plug-in made in memory with one host name and two runtime DLLs, then `more`: what Windows loads
// with it is needed, what it delay-loads only at the first call; "part of Windows" only for DLLs
// that are; imports by number matched against a DLL whose exports are numbered from 7.
TEST(Doctor, DelayLoadedAndOtherDllsAreToldApart) {
  const auto plugin = [](std::vector<BuiltImport> more) {
    BuiltLibrary library;
    library.imports = {{"version.dll", {"?Get@Timer@API@@SAAEAV12@XZ"}, {}, false, false},
                       {"KERNEL32.dll", {"Sleep"}, {}, false, false},
                       {"MSVCP140.dll", {"_Mtx_lock"}, {}, false, false}};
    library.imports.insert(library.imports.end(), more.begin(), more.end());
    return BuildLibrary(library);
  };
  BuiltLibrary third_party;
  third_party.export_base = 7;
  third_party.export_count = 3;
  third_party.export_names = {"KvSeventh"};
  const std::string kvthird = BuildLibrary(third_party);
  const fs::path kernel_only = fs::current_path() / "system-with-kernel32-and-msvcp140";
  fs::remove_all(kernel_only);
  fs::create_directories(kernel_only);
  for (const char* dll : {"kernel32.dll", "msvcp140.dll"}) {
    fs::copy_file(kWine / dll, kernel_only / dll);
  }
  const struct {
    const char* name;
    std::vector<BuiltImport> more;
    bool third_party_present;
    std::vector<std::string> system_dirs;
    std::set<std::string> codes;
    bool loads;
    std::vector<std::string> said;  // in the first code's message and fix
    std::vector<std::string> not_said;
  } cases[] = {
      {"nothing more", {}, false, {kWine.string()}, {}, true, {}, {}},
      {"a delay-loaded DLL missing",
       {{"kvdelayed.dll", {"KvLater"}, {}, true, false}},
       false,
       {kWine.string()},
       {"runtime-delayed-missing"},
       true,
       {"delay-loads kvdelayed.dll", "only at the plug-in's first call into it",
        "neither part of Windows"},
       {"refuse to load"}},
      {"a delay-loaded DLL that lacks a name",
       {{"kvthird.dll", {"KvEighth"}, {}, true, false}},
       true,
       {kWine.string()},
       {"runtime-export-missing"},
       true,
       {"lacks 1 of the 1 names", "KvEighth", "first call", "the copy that comes with the plug-in"},
       {"refuse to load", "update Windows", "remove this copy"}},
      {"a needed DLL missing that is no part of Windows",
       {{"kvthird.dll", {"KvSeventh"}, {}, false, false}},
       false,
       {kWine.string()},
       {"runtime-missing"},
       false,
       {"needs kvthird.dll", "refuse to load",
        "kvthird.dll is neither part of Windows nor of the Microsoft C++ runtime"},
       {"this DLL is part of Windows"}},
      {"a needed DLL of Windows missing",
       {{"WS2_32.dll", {"select"}, {}, false, false}},
       false,
       {kernel_only.string()},
       {"runtime-missing"},
       false,
       {"needs WS2_32.dll", "this DLL is part of Windows"},
       {}},
      {"imports by number from exports numbered from 7",
       {{"kvthird.dll", {"KvSeventh"}, {7, 9}, false, false}},
       true,
       {kWine.string()},
       {},
       true,
       {},
       {}},
      {"an import by a number that is not exported",
       {{"kvthird.dll", {}, {10}, false, false}},
       true,
       {kWine.string()},
       {"runtime-export-missing"},
       false,
       {"#10", "refuse to load"},
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Server server("built-plugin");
    server.Complete().Write("ArkApi/Plugins/Kestrovar/Kestrovar.dll", plugin(c.more));
    if (c.third_party_present) server.Write("kvthird.dll", kvthird);
    const DoctorReport report = Examine(server, c.system_dirs);
    EXPECT_EQ(Codes(report), c.codes) << Describe(report);
    EXPECT_EQ(DoctorLoads(report), std::optional<bool>(c.loads)) << Describe(report);
    EXPECT_EQ(DoctorVerdict(report).find(c.loads ? "verdict: the plug-in will load"
                                                 : "verdict: the plug-in will not load"),
              0u)
        << DoctorVerdict(report);
    if (c.codes.empty()) continue;
    const Finding* finding = Find(report, *c.codes.begin());
    ASSERT_NE(finding, nullptr);
    EXPECT_EQ(finding->severity, c.loads ? Severity::kWarning : Severity::kError);
    const std::string text = finding->message + " / " + finding->fix;
    for (const std::string& words : c.said) {
      EXPECT_NE(text.find(words), std::string::npos) << words << "\n" << text;
    }
    for (const std::string& words : c.not_said) {
      EXPECT_EQ(text.find(words), std::string::npos) << words << "\n" << text;
    }
  }
}

// A system folder that holds no Windows DLLs is named as such, not every DLL as missing; the
// verdict then gives no answer, and counts the errors as the list does.
TEST(Doctor, AnUnusableSystemFolderIsNamedAndTheVerdictCountsAgree) {
  Server server("unusable-system-folder");
  server.Complete();
  const fs::path empty = fs::current_path() / "empty-system-folder";
  const fs::path other = fs::current_path() / "system-folder-without-kernel32";
  fs::remove_all(empty);
  fs::remove_all(other);
  fs::create_directories(empty);
  fs::create_directories(other);
  fs::copy_file(kWine / "msvcp140.dll", other / "msvcp140.dll");
  const struct {
    fs::path dir;
    const char* why;
  } cases[] = {{empty, "it is empty"},
               {other, "it holds no kernel32.dll"},
               {fs::current_path() / "no-such-folder", "there is no such folder"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    const DoctorReport report = Examine(server, {c.dir.string()});
    EXPECT_EQ(Codes(report), std::set<std::string>{"system-folder-unreadable"}) << Describe(report);
    EXPECT_NE(Describe(report).find(c.why), std::string::npos) << Describe(report);
    EXPECT_EQ(ExitStatusOf(report.findings), 2);
    EXPECT_EQ(DoctorLoads(report), std::nullopt);
    EXPECT_EQ(DoctorVerdict(report),
              "verdict: cannot tell whether the plug-in will load here: give the doctor usable "
              "input (the error above)");
  }
  // Three errors, one of them about the doctor's input: the verdict says so.
  server.Write("ArkApi/Plugins/Kestrovar/config.json", "{\"Max_Dino_Counts\": {\"x\": \"3\"}}");
  fs::remove(server.Root() / "version.dll");
  const DoctorReport report = Examine(server, {empty.string()});
  std::size_t errors = 0;
  for (const Finding& finding : report.findings) errors += finding.severity == Severity::kError;
  ASSERT_EQ(errors, 3u) << Describe(report);
  EXPECT_EQ(DoctorVerdict(report),
            "verdict: cannot tell whether the plug-in will load here: give the doctor usable "
            "input (1 of the 3 errors above is about input that the doctor could not use)");
  // An empty plug-in file is called empty.
  server.Complete().Write("ArkApi/Plugins/Kestrovar/Kestrovar.dll", "");
  const DoctorReport empty_plugin = Examine(server);
  const Finding* finding = Find(empty_plugin, "plugin-not-pe");
  ASSERT_NE(finding, nullptr) << Describe(empty_plugin);
  EXPECT_NE(finding->message.find("it is empty (0 bytes)"), std::string::npos) << finding->message;
  EXPECT_EQ(DoctorLoads(empty_plugin), std::optional<bool>(false));
}

#if defined(KESTROVAR_BUILT_PLUGIN)
// This build's own libraries: its stand-in host is told apart; the msvc-abi build's plug-in loads
// with the test host, the windows build's is named as the MinGW build.
TEST(Doctor, ThisBuildsOwnLibraries) {
  Server server("built");
  server.Complete().Copy(KESTROVAR_BUILT_PLUGIN, "ArkApi/Plugins/Kestrovar/Kestrovar.dll");
#if defined(KESTROVAR_BUILT_PLUGIN_IS_MSVC_ABI)
  const std::set<std::string> plugin_codes;
#else
  const std::set<std::string> plugin_codes{"plugin-mingw-build"};
#endif
  DoctorReport report = Examine(server);
  EXPECT_EQ(Codes(report), plugin_codes) << Describe(report);
  server.Copy(KESTROVAR_BUILT_HOST, "version.dll");
  report = Examine(server);
  std::set<std::string> with_stand_in = plugin_codes;
  with_stand_in.insert("stand-in-host");
  EXPECT_EQ(Codes(report), with_stand_in) << Describe(report);
}
#endif

}  // namespace
