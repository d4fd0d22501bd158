// The reader of Microsoft-mangled names: held against llvm-undname-19 over every such name we have
// (tests/doctor/msvc_names.txt, the host's names, Wine's exports), and read into the types the
// doctor decides on.

#include "tools/doctor/msvc_names.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "tools/doctor/pe_image.h"

namespace {

namespace fs = std::filesystem;
using Kind = MsvcType::Kind;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

struct Corpus {
  std::vector<std::string> read;     // the reader must read these
  std::vector<std::string> decline;  // and must decline these
  std::vector<std::string> host;     // docs/host-abi.md: must read
  std::vector<std::string> wine;     // Wine's exports: read or declined, never wrong
};

Corpus LoadCorpus() {
  Corpus corpus;
  bool declining = false;
  for (const std::string& line : Lines(ReadFile(KESTROVAR_MSVC_NAMES_CORPUS))) {
    if (line.empty() || line[0] == '#') continue;
    if (line == "decline:") {
      declining = true;
      continue;
    }
    (declining ? corpus.decline : corpus.read).push_back(line);
  }
  for (const std::string& line : Lines(ReadFile(KESTROVAR_HOST_ABI_DOC))) {
    if (line.rfind("| `?", 0) != 0) continue;
    corpus.host.push_back(line.substr(3, line.find('`', 3) - 3));
  }
  std::set<std::string> wine;
  for (const fs::directory_entry& entry : fs::directory_iterator(KESTROVAR_WINE_DLLS)) {
    if (entry.path().extension() != ".dll") continue;
    const PeReadResult read = ReadPeImage(ReadFile(entry.path()));
    if (!read.image) continue;
    for (const std::string& name : read.image->exports) {
      if (IsMsvcMangled(name)) wine.insert(name);
    }
  }
  corpus.wine.assign(wine.begin(), wine.end());
  return corpus;
}

// llvm-undname's reading of each name; none where it declines the name. It echoes each name, then
// gives its reading (nothing where it declines), then an empty line.
std::map<std::string, std::optional<std::string>> Undname(const std::vector<std::string>& names,
                                                          std::string& problem) {
  // A folder of this run's own: other checkouts may run the same test at the same time.
  const fs::path dir =
      fs::temp_directory_path() / ("kestrovar-undname-" + std::to_string(std::random_device{}()));
  fs::create_directories(dir);
  const fs::path in = dir / "names.txt";
  const fs::path out = dir / "readings.txt";
  {
    std::ofstream file(in, std::ios::binary);
    for (const std::string& name : names) file << name << '\n';
  }
  const std::string command = "\"" + std::string(KESTROVAR_LLVM_UNDNAME) + "\" < \"" + in.string() +
                              "\" > \"" + out.string() + "\" 2> \"" +
                              (dir / "errors.txt").string() + "\"";
  std::map<std::string, std::optional<std::string>> readings;
  // It exits with 1 when it declines any name; its output tells whether it read them all.
  (void)std::system(command.c_str());
  const std::vector<std::string> lines = Lines(ReadFile(out));
  std::error_code ignored;
  fs::remove_all(dir, ignored);
  std::size_t at = 0;
  for (const std::string& name : names) {
    if (at >= lines.size() || lines[at] != name) {
      problem = "llvm-undname's output lost step at " + name;
      return readings;
    }
    ++at;
    std::optional<std::string> reading;
    if (at < lines.size() && !lines[at].empty()) reading = lines[at++];
    if (at >= lines.size() || !lines[at].empty()) {
      problem = "llvm-undname's output has more than a line for " + name;
      return readings;
    }
    ++at;
    readings[name] = reading;
  }
  return readings;
}

TEST(MsvcNames, AgreesWithLlvmUndname) {
  if (std::string(KESTROVAR_LLVM_UNDNAME).empty() || !fs::exists(KESTROVAR_LLVM_UNDNAME)) {
    GTEST_SKIP() << "llvm-undname-19 is not available to this build (scripts/install-deps.sh "
                    "installs llvm-19; the Windows builds cannot run it)";
  }
  const Corpus corpus = LoadCorpus();
  ASSERT_GT(corpus.read.size(), 50u);
  ASSERT_GT(corpus.decline.size(), 10u);
  ASSERT_GE(corpus.host.size(), 5u);
  ASSERT_GT(corpus.wine.size(), 1000u);
  std::vector<std::string> all = corpus.read;
  all.insert(all.end(), corpus.decline.begin(), corpus.decline.end());
  all.insert(all.end(), corpus.host.begin(), corpus.host.end());
  all.insert(all.end(), corpus.wine.begin(), corpus.wine.end());
  std::string problem;
  const std::map<std::string, std::optional<std::string>> theirs = Undname(all, problem);
  ASSERT_TRUE(problem.empty()) << problem;

  // Every reading agrees with llvm-undname's, to the character.
  std::size_t read = 0, declined = 0;
  // What the reader declines that llvm-undname reads, by what it is.
  std::map<std::string, std::vector<std::string>> declined_they_read;
  for (const std::string& name : all) {
    const std::optional<MsvcFunction> ours = ParseMsvcFunction(name);
    const std::optional<std::string>& their = theirs.at(name);
    if (!ours) {
      ++declined;
      if (their) {
        const bool is_table =
            name.rfind("??_7", 0) == 0 || name.rfind("??_8", 0) == 0 || name.rfind("??_R", 0) == 0;
        const bool is_32_bit = their->find("__thiscall") != std::string::npos ||
                               their->find("__stdcall") != std::string::npos ||
                               their->find('(') == std::string::npos;
        declined_they_read[is_table                                ? "tables"
                           : their->find('(') == std::string::npos ? "variables"
                           : is_32_bit                             ? "32-bit functions"
                                                                   : "other functions"]
            .push_back(name);
      }
      continue;
    }
    ++read;
    EXPECT_TRUE(their) << name << ": read as " << UndnameMsvcFunction(*ours)
                       << ", which llvm-undname declines";
    if (their) {
      EXPECT_EQ(UndnameMsvcFunction(*ours), *their) << name;
    }
  }
  for (const std::vector<std::string>* must : {&corpus.read, &corpus.host}) {
    for (const std::string& name : *must) EXPECT_TRUE(ParseMsvcFunction(name)) << name;
  }
  for (const std::string& name : corpus.decline) EXPECT_FALSE(ParseMsvcFunction(name)) << name;

  std::size_t wine_declined = 0;
  for (const std::string& name : corpus.wine) wine_declined += !ParseMsvcFunction(name);
  std::cout << all.size() << " names: " << read << " read, the same as llvm-undname reads them; "
            << declined << " declined (Wine's " << corpus.wine.size() << ": " << wine_declined
            << ")\ndeclined where llvm-undname reads them:\n";
  for (const auto& [what, names] : declined_they_read) {
    std::cout << "  " << names.size() << " " << what << ", such as";
    for (std::size_t i = 0; i < names.size() && i < 3; ++i) std::cout << " " << names[i];
    std::cout << "\n";
  }
  // Most of what the runtime libraries export is read: a reader that declines everything fails.
  EXPECT_LT(wine_declined * 100, corpus.wine.size() * 15);
}

// The types that the doctor decides on, read from the names.
TEST(MsvcNames, ReadsTheTypesOfTheGamesFunctions) {
  const auto spawn = ParseMsvcFunction(
      "?SpawnNPC@ANPCZoneManager@@QEAAPEAVAPrimalDinoCharacter@@V?$TSubclassOf@"
      "VAPrimalDinoCharacter@@@@UFVector@@_NHM2MMMMV?$TSubclassOf@VUPrimalColorSet@@@@@Z");
  ASSERT_TRUE(spawn);
  EXPECT_EQ(spawn->scope, std::vector<std::string>{"ANPCZoneManager"});
  EXPECT_EQ(spawn->name, "SpawnNPC");
  EXPECT_TRUE(spawn->is_member);
  EXPECT_EQ(spawn->access, "public");
  EXPECT_EQ(spawn->result.kind, Kind::kPointer);
  EXPECT_EQ(spawn->result.size, 8);
  ASSERT_EQ(spawn->result.target.size(), 1u);
  EXPECT_EQ(spawn->result.target[0].name, "APrimalDinoCharacter");
  EXPECT_EQ(spawn->result.target[0].class_key, "class");
  ASSERT_EQ(spawn->parameters.size(), 11u);
  const MsvcType& dino_class = spawn->parameters[0];
  EXPECT_EQ(dino_class.kind, Kind::kClass);
  EXPECT_EQ(dino_class.name, "TSubclassOf<APrimalDinoCharacter>");
  EXPECT_EQ(dino_class.qualified_name,
            std::vector<std::string>{"TSubclassOf<APrimalDinoCharacter>"});
  ASSERT_EQ(dino_class.template_arguments.size(), 1u);
  EXPECT_EQ(dino_class.template_arguments[0].name, "APrimalDinoCharacter");
  EXPECT_EQ(spawn->parameters[1].class_key, "struct");
  EXPECT_EQ(spawn->parameters[1].name, "FVector");
  // "2" is the third parameter type that took more than one letter: bool, not int or float.
  EXPECT_EQ(spawn->parameters[5].kind, Kind::kBool);
  EXPECT_EQ(spawn->parameters[5].size, 1);
  EXPECT_EQ(spawn->parameters[6].kind, Kind::kFloatingPoint);
  EXPECT_EQ(spawn->parameters[4].kind, Kind::kFloatingPoint);
  EXPECT_EQ(spawn->parameters[4].size, 4);
  EXPECT_EQ(spawn->parameters[3].kind, Kind::kInteger);
  EXPECT_TRUE(spawn->parameters[3].is_signed);
  EXPECT_EQ(spawn->parameters[10].name, "TSubclassOf<UPrimalColorSet>");

  const auto init = ParseMsvcFunction("?Init@FName@@QEAAXPEBDHW4EFindName@@_NH@Z");
  ASSERT_TRUE(init);
  ASSERT_EQ(init->parameters.size(), 5u);
  EXPECT_EQ(init->parameters[0].kind, Kind::kPointer);
  EXPECT_FALSE(init->parameters[0].is_const);
  EXPECT_TRUE(init->parameters[0].target[0].is_const);
  EXPECT_EQ(init->parameters[0].target[0].kind, Kind::kCharacter);
  EXPECT_EQ(init->parameters[2].kind, Kind::kEnum);
  EXPECT_EQ(init->parameters[2].class_key, "enum");
  EXPECT_EQ(init->parameters[2].size, 4);

  const auto assign = ParseMsvcFunction("??4FWeakObjectPtr@@QEAAAEAU0@PEAVUObject@@@Z");
  ASSERT_TRUE(assign);
  EXPECT_EQ(assign->name, "operator=");
  EXPECT_EQ(assign->scope, std::vector<std::string>{"FWeakObjectPtr"});
  EXPECT_EQ(assign->result.kind, Kind::kLValueReference);
  EXPECT_EQ(assign->result.target[0].name, "FWeakObjectPtr");
  EXPECT_EQ(assign->result.target[0].class_key, "struct");

  const auto get = ParseMsvcFunction("?Get@FWeakObjectPtr@@QEBAPEAVUObject@@_N@Z");
  ASSERT_TRUE(get);
  EXPECT_TRUE(get->const_this);
  EXPECT_FALSE(get->volatile_this);

  const auto health = ParseMsvcFunction("?GetHealthPercentage@APrimalDinoCharacter@@IECAMXZ");
  ASSERT_TRUE(health);
  EXPECT_EQ(health->access, "protected");
  EXPECT_TRUE(health->volatile_this);
  EXPECT_FALSE(health->const_this);

  const auto malloc = ParseMsvcFunction("?Malloc@FMemory@@SAPEAX_KI@Z");
  ASSERT_TRUE(malloc);
  EXPECT_FALSE(malloc->is_member);
  EXPECT_TRUE(malloc->is_static);
  EXPECT_EQ(malloc->parameters[0].name, "unsigned __int64");
  EXPECT_EQ(malloc->parameters[0].size, 8);
  EXPECT_FALSE(malloc->parameters[0].is_signed);

  const auto timer =
      ParseMsvcFunction("?DelayExecuteInternal@Timer@API@@QEAAXAEBV?$function@$$A6AXXZ@std@@H@Z");
  ASSERT_TRUE(timer);
  EXPECT_EQ(timer->scope, (std::vector<std::string>{"API", "Timer"}));
  const MsvcType& callback = timer->parameters[0].target[0];
  EXPECT_TRUE(callback.is_const);
  EXPECT_EQ(callback.qualified_name, (std::vector<std::string>{"std", "function<void()>"}));
  ASSERT_EQ(callback.template_arguments.size(), 1u);
  EXPECT_EQ(callback.template_arguments[0].kind, Kind::kFunction);
  EXPECT_EQ(callback.template_arguments[0].result[0].kind, Kind::kVoid);
  EXPECT_TRUE(callback.template_arguments[0].parameters.empty());

  const auto constructor = ParseMsvcFunction("??0FString@@QEAA@$$QEAV0@@Z");
  ASSERT_TRUE(constructor);
  EXPECT_TRUE(constructor->is_constructor);
  EXPECT_EQ(constructor->name, "FString");
  EXPECT_EQ(constructor->result.kind, Kind::kVoid);
  EXPECT_EQ(constructor->parameters[0].kind, Kind::kRValueReference);
}

// Types and functions as a finding spells them.
TEST(MsvcNames, SpellsAsADeveloperWrites) {
  const struct {
    const char* mangled;
    const char* spelt;
  } cases[] = {
      {"?foo_pbqad@@YAXPEBQEAD@Z", "foo_pbqad(char* const*)"},
      {"?foo_pbqbd@@YAXPEBQEBD@Z", "foo_pbqbd(const char* const*)"},
      {"?mangle_yes_backref3@@YAXQEAP6AXXZ0@Z",
       "mangle_yes_backref3(void(** const)(), void(** const)())"},
      {"?f@@QECAXXZ", "f() volatile"},
      {"?g@f@1@YAXXZ", "f::f::g()"},
      {"?f@@YAXHPEAH0@Z", "f(int, int*, int*)"},
      {"??4FWeakObjectPtr@@QEAAAEAU0@PEAVUObject@@@Z", "FWeakObjectPtr::operator=(UObject*)"},
      {"??0Timer@API@@QEAA@XZ", "API::Timer::Timer()"},
      {"??1FString@@QEAA@XZ", "FString::~FString()"},
      {"??Bfoo@@QEBA_NXZ", "foo::operator bool() const"},
      {"?ForEachRider@APrimalDinoCharacter@@QEAAXP6AXPEAV1@H@Z1@Z",
       "APrimalDinoCharacter::ForEachRider(void(*)(APrimalDinoCharacter*, int), "
       "void(*)(APrimalDinoCharacter*, int))"},
      {"?GetAllActorsOfClass@UGameplayStatics@@SAXPEAVUObject@@V?$TSubclassOf@VAActor@@@@PEAV?$"
       "TArray@PEAVAActor@@UFDefaultAllocator@@@@@Z",
       "UGameplayStatics::GetAllActorsOfClass(UObject*, TSubclassOf<AActor>, "
       "TArray<AActor*, FDefaultAllocator>*)"},
      {"?Print@@YAHPEBDZZ", "Print(const char*, ...)"},
      {"?Member@@YAXPERBox@@H@Z", "Member(const int Box::*)"},
      {"?Method@@YAXP8Box@@EBAXH@Z@Z", "Method(void(Box::*)(int) const)"},
      {"?Flag@Box@@QEHAAXXZ", "Box::Flag() &&"},
      {"?Values@@YAXV?$a@$0A@$0BA@$0?1@@@Z", "Values(a<0, 16, -2>)"},
      {"?Move@@YAX$$QEAVFString@@@Z", "Move(FString&&)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadableMsvcName(c.mangled).value_or("(none)"), c.spelt) << c.mangled;
  }
  const auto name = ParseMsvcFunction(
      "?Take@@YAXAEAV?$vector@V?$basic_string@DU?$char_traits@D@std@@V?$allocator@D@2@@std@@V?$"
      "allocator@V?$basic_string@DU?$char_traits@D@std@@V?$allocator@D@2@@std@@@2@@std@@@Z");
  ASSERT_TRUE(name);
  EXPECT_EQ(SpellMsvcType(name->parameters[0]), "std::vector<std::string>&");
  // The name itself is never shortened.
  EXPECT_EQ(name->parameters[0].target[0].template_arguments[0].name,
            "std::basic_string<char, std::char_traits<char>, std::allocator<char>>");
}

// Back-references copy what they refer to, and a copy can hold copies: a short name could ask for
// more than any memory. Such a name is declined, quickly.
TEST(MsvcNames, DeclinesANameThatWouldGrowPastAnyRealOne) {
  for (const int levels : {6, 25}) {
    // Each template's arguments: the next template, then nine back-references to it.
    std::string inner = "?$n@H@";
    for (int i = 0; i < levels; ++i) {
      std::string copies;
      for (int c = 0; c < 9; ++c) copies += "V1@";
      inner = "?$n@V" + inner + "@" + copies + "@";
    }
    const std::string name = "?f@@YAXV" + inner + "@@Z";
    // ASSERT: without the limit, 25 levels would never end.
    ASSERT_FALSE(ParseMsvcFunction(name)) << levels;
    ASSERT_FALSE(ReadableMsvcName(name)) << levels;
  }
  // Three levels (a thousand copies) are still read.
  std::string inner = "?$n@H@";
  for (int i = 0; i < 3; ++i) inner = "?$n@V" + inner + "@V1@V1@V1@V1@V1@V1@V1@V1@V1@@";
  EXPECT_TRUE(ParseMsvcFunction("?f@@YAXV" + inner + "@@Z"));
}

}  // namespace
