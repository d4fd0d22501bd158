// The doctor's PE reader on real libraries (Wine's), cut short and damaged, and its spelling of the
// host's C++ names.

#include "tools/doctor/pe_image.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/doctor/pe_builder.h"
#include "tools/doctor/msvc_names.h"

namespace {

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

const std::filesystem::path kWine = KESTROVAR_WINE_DLLS;

TEST(PeImage, ReadsTheImportsAndExportsOfARealLibrary) {
  const std::string bytes = ReadFile(kWine / "msvcp140.dll");
  ASSERT_GT(bytes.size(), 100000u);
  const PeReadResult read = ReadPeImage(bytes);
  ASSERT_TRUE(read.image) << read.problem;
  EXPECT_EQ(read.image->machine, kMachineX64);
  EXPECT_TRUE(read.image->pe32_plus);
  EXPECT_TRUE(read.image->is_dll);
  EXPECT_TRUE(ExportsName(*read.image, "?_Xlength_error@std@@YAXPEBD@Z"));
  EXPECT_TRUE(ExportsName(*read.image, "_Mtx_lock"));
  EXPECT_FALSE(ExportsName(*read.image, "_Mtx_lock2"));
  EXPECT_GT(read.image->exports.size(), 1000u);
  EXPECT_FALSE(read.image->file_version);  // Wine's has no resources
  bool kernel32 = false;
  for (const PeImport& import : read.image->imports) {
    if (import.dll == "kernel32.dll" || import.dll == "KERNEL32.dll") {
      kernel32 = !import.names.empty();
    }
  }
  EXPECT_TRUE(kernel32);
}

TEST(PeImage, ReadsTheFileVersionOfAVersionResource) {
  const PeReadResult read = ReadPeImage(ReadFile(kWine / "ucrtbase.dll"));
  ASSERT_TRUE(read.image) << read.problem;
  ASSERT_TRUE(read.image->file_version);
  EXPECT_EQ(read.image->file_version->rfind("10.", 0), 0u) << *read.image->file_version;
}

// Every length of a real library, and a byte spoilt at each place: a reason or an image, never a
// read outside the bytes (the sanitizer build checks that).
TEST(PeImage, ACutShortOrSpoiltLibraryGivesAReason) {
  const std::string bytes = ReadFile(kWine / "version.dll");
  ASSERT_GT(bytes.size(), 10000u);
  std::size_t cut_short = 0;
  for (std::size_t size = 0; size < bytes.size(); size += 61) {
    const PeReadResult read = ReadPeImage(std::string_view(bytes).substr(0, size));
    if (read.image) continue;
    EXPECT_FALSE(read.problem.empty());
    // Past the headers, the reason is the length itself, whatever table would be read first.
    if (size < 4096) continue;
    EXPECT_EQ(read.problem.rfind("it is cut short: its sections need", 0), 0u) << read.problem;
    ++cut_short;
  }
  EXPECT_GT(cut_short, 1000u);
  EXPECT_TRUE(ReadPeImage(std::string_view(bytes).substr(0, 0x40)).not_pe);
  for (std::size_t at = 0; at < 4096 && at < bytes.size(); ++at) {
    std::string spoilt = bytes;
    spoilt[at] = static_cast<char>(spoilt[at] ^ 0xA5);
    const PeReadResult read = ReadPeImage(spoilt);
    EXPECT_TRUE(read.image || !read.problem.empty());
  }
}

TEST(PeImage, NonLibrariesAreNamedAsSuch) {
  EXPECT_TRUE(ReadPeImage("").not_pe);
  EXPECT_EQ(ReadPeImage("").problem, "it is empty (0 bytes)");
  EXPECT_EQ(ReadPeImage("M").problem.find("it does not start with the MZ header"), 0u);
  EXPECT_TRUE(ReadPeImage("{\"Max_Dino_Counts\": {}}").not_pe);
  std::string dos(128, '\0');
  dos[0] = 'M';
  dos[1] = 'Z';
  const PeReadResult read = ReadPeImage(dos);
  EXPECT_TRUE(read.not_pe);
  EXPECT_NE(read.problem.find("no PE header"), std::string::npos) << read.problem;
}

// The tables that our toolchains do not write, from libraries made in memory: imports by number in
// both header forms, delay-loaded DLLs in both of their forms, and exports numbered from a base.
TEST(PeImage, ReadsOrdinalsDelayLoadsAndExportBases) {
  const struct {
    const char* name;
    bool pe32_plus;
    bool delay_addresses;
  } forms[] = {
      {"PE32+, delay-load offsets", true, false},
      {"PE32, delay-load offsets", false, false},
      {"PE32, delay-load addresses", false, true},
  };
  for (const auto& form : forms) {
    SCOPED_TRACE(form.name);
    BuiltLibrary library;
    library.pe32_plus = form.pe32_plus;
    library.imports = {
        {"kernel32.dll", {"Sleep", "GetLastError"}, {}, false, false},
        {"ws2_32.dll", {"select"}, {23, 115}, false, false},
        {"kvdelayed.dll", {"KvDelayedCall"}, {3}, true, form.delay_addresses},
    };
    library.export_base = 7;
    library.export_count = 3;
    library.export_names = {"KvSeventh", "KvEighth"};
    const PeReadResult read = ReadPeImage(BuildLibrary(library));
    ASSERT_TRUE(read.image) << read.problem;
    EXPECT_EQ(read.image->pe32_plus, form.pe32_plus);
    ASSERT_EQ(read.image->imports.size(), 3u);
    const PeImport& ws2 = read.image->imports[1];
    EXPECT_EQ(ws2.dll, "ws2_32.dll");
    EXPECT_EQ(ws2.ordinals, (std::vector<std::uint32_t>{23, 115}));
    EXPECT_EQ(ws2.names, std::vector<std::string>{"select"});
    EXPECT_FALSE(ws2.delay_loaded);
    EXPECT_EQ(read.image->imports[0].names, (std::vector<std::string>{"Sleep", "GetLastError"}));
    const PeImport& delayed = read.image->imports[2];
    EXPECT_EQ(delayed.dll, "kvdelayed.dll");
    EXPECT_TRUE(delayed.delay_loaded);
    EXPECT_EQ(delayed.names, std::vector<std::string>{"KvDelayedCall"});
    EXPECT_EQ(delayed.ordinals, std::vector<std::uint32_t>{3});
    // Export ordinals count from the table's base, as an import by number names them.
    EXPECT_EQ(read.image->exported_ordinals, (std::vector<std::uint32_t>{7, 8, 9}));
    EXPECT_TRUE(ExportsOrdinal(*read.image, 9));
    EXPECT_FALSE(ExportsOrdinal(*read.image, 1));
    EXPECT_TRUE(ExportsName(*read.image, "KvEighth"));
  }
  // A delay-load table whose addresses lie below the image: damaged, said so.
  BuiltLibrary wrong;
  wrong.imports = {{"kvdelayed.dll", {"KvDelayedCall"}, {}, true, true}};
  const PeReadResult read = ReadPeImage(BuildLibrary(wrong));
  EXPECT_FALSE(read.image);
  EXPECT_NE(read.problem.find("delay-load directory holds addresses outside the image"),
            std::string::npos)
      << read.problem;
}

// The saved fuzzing inputs: real libraries of our builds and Wine's, cut short and damaged.
TEST(PeImage, TheCorpusReadsWithoutFault) {
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(KESTROVAR_PE_CORPUS)) {
    const PeReadResult read = ReadPeImage(ReadFile(entry.path()));
    EXPECT_TRUE(read.image || !read.problem.empty()) << entry.path();
    ++files;
  }
  EXPECT_GT(files, 5u);
}

// Every name of docs/host-abi.md, as a finding spells it.
TEST(MsvcNames, SpellsTheHostNamesAsWritten) {
  const struct {
    const char* mangled;
    const char* readable;
  } cases[] = {
      {"?DelayExecuteInternal@Timer@API@@QEAAXAEBV?$function@$$A6AXXZ@std@@H@Z",
       "API::Timer::DelayExecuteInternal(const std::function<void()>&, int)"},
      {"?Get@Timer@API@@SAAEAV12@XZ", "API::Timer::Get()"},
      {"?GetAddress@@YAPEAXPEBXV?$basic_string_view@DU?$char_traits@D@std@@@std@@@Z",
       "GetAddress(const void*, std::string_view)"},
      {"?GetAddress@@YAPEAXV?$basic_string_view@DU?$char_traits@D@std@@@std@@@Z",
       "GetAddress(std::string_view)"},
      {"?GetApiUtils@ArkApi@@YAAEAVIApiUtils@1@XZ", "ArkApi::GetApiUtils()"},
      {"?GetCommands@ArkApi@@YAAEAVICommands@1@XZ", "ArkApi::GetCommands()"},
      {"?GetCurrentDir@Tools@ArkApi@@YA?AV?$basic_string@DU?$char_traits@D@std@@V?$allocator@D@2@@"
       "std@@XZ",
       "ArkApi::Tools::GetCurrentDir()"},
      {"?GetHooks@ArkApi@@YAAEAVIHooks@1@XZ", "ArkApi::GetHooks()"},
      {"?GetLogSinks@@YAAEAV?$vector@V?$shared_ptr@Vsink@sinks@spdlog@@@std@@V?$allocator@V?$"
       "shared_ptr@Vsink@sinks@spdlog@@@std@@@2@@std@@XZ",
       "GetLogSinks()"},
      // Parameters that the host's names do not have, as another host's may.
      {"?Log@@YAXAEBV?$basic_string@DU?$char_traits@D@std@@V?$allocator@D@2@@std@@0@Z",
       "Log(const std::string&, const std::string&)"},
      {"?Take@@YAXAEAV?$vector@HV?$allocator@H@std@@@std@@_K_N@Z",
       "Take(std::vector<int>&, unsigned __int64, bool)"},
      {"?Size@Box@@QEBAHXZ", "Box::Size() const"},
      {"?Call@@YAXP6AHH@Z@Z", "Call(int(*)(int))"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadableMsvcName(c.mangled).value_or("(none)"), c.readable) << c.mangled;
  }
}

TEST(MsvcNames, TheSameFunctionWithAnotherSignatureHasTheSameHead) {
  const char* with_int = "?DelayExecuteInternal@Timer@API@@QEAAXAEBV?$function@$$A6AXXZ@std@@H@Z";
  const char* with_unsigned =
      "?DelayExecuteInternal@Timer@API@@QEAAXAEBV?$function@$$A6AXXZ@std@@I@Z";
  EXPECT_EQ(MsvcNameHead(with_int).value_or(""), "?DelayExecuteInternal@Timer@API@@");
  EXPECT_EQ(MsvcNameHead(with_int), MsvcNameHead(with_unsigned));
  EXPECT_NE(MsvcNameHead("?Get@Timer@API@@SAAEAV12@XZ"), MsvcNameHead(with_int));
  EXPECT_EQ(ReadableMsvcName(with_unsigned).value_or(""),
            "API::Timer::DelayExecuteInternal(const std::function<void()>&, unsigned int)");
}

TEST(MsvcNames, OtherNamesAreLeftAsTheyAre) {
  for (const char* name :
       {"", "?", "??", "malloc", "_ZN3API5Timer3GetEv", "?x@@", "?x@@Y", "??_7Timer@API@@6B@",
        "?value@@3HA", "?f@@YAXPEAPEAPEAPEAH", "?f@@YAX9@Z", "?f@@YAXV?$a@@Z"}) {
    EXPECT_FALSE(ReadableMsvcName(name)) << name;
  }
  EXPECT_FALSE(MsvcNameHead("_ZN3API5Timer3GetEv"));
  EXPECT_TRUE(IsMsvcMangled("?Get@Timer@API@@SAAEAV12@XZ"));
  EXPECT_FALSE(IsMsvcMangled("_ZN3API5Timer3GetEv"));
  // Pointers nested past any real name stop the reading rather than the stack.
  std::string deep = "?f@@YAX";
  for (int i = 0; i < 3000; ++i) deep += "PEA";
  EXPECT_FALSE(ReadableMsvcName(deep + "H@Z"));
}

}  // namespace
