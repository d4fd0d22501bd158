// The doctor's game-build check: the fit of the plug-in's table (host/game_abi.h) with game
// functions as the machine sees them, the generated document, and test game builds with their
// program databases (tests/doctor/CMakeLists.txt), cross-checked with llvm-pdbutil-19 and (the
// program's debug directory, which names its database) llvm-readobj-19.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tools/doctor/doctor_checks.h"
#include "tools/doctor/game_build_check.h"
#include "tools/doctor/pdb_reader.h"
#include "tools/doctor/pe_image.h"

namespace fs = std::filesystem;

namespace {

// --- Types as a mangled name gives them --------------------------------------------------------

MsvcType Builtin(MsvcType::Kind kind, const char* name, int size, bool is_signed) {
  MsvcType type;
  type.kind = kind;
  type.name = name;
  type.size = size;
  type.is_signed = is_signed;
  return type;
}
MsvcType Int() { return Builtin(MsvcType::Kind::kInteger, "int", 4, true); }
MsvcType Unsigned() { return Builtin(MsvcType::Kind::kInteger, "unsigned int", 4, false); }
MsvcType Size() { return Builtin(MsvcType::Kind::kInteger, "unsigned __int64", 8, false); }
MsvcType Bool() { return Builtin(MsvcType::Kind::kBool, "bool", 1, false); }
MsvcType Float() { return Builtin(MsvcType::Kind::kFloatingPoint, "float", 4, true); }
MsvcType Double() { return Builtin(MsvcType::Kind::kFloatingPoint, "double", 8, true); }
MsvcType Void() { return Builtin(MsvcType::Kind::kVoid, "void", 0, false); }
MsvcType Class(const std::string& name) {
  MsvcType type;
  type.kind = MsvcType::Kind::kClass;
  type.name = name;
  type.class_key = "class";
  type.qualified_name = {name};
  MsvcNamePart part;
  part.identifier = name;
  type.parts = {part};
  return type;
}
MsvcType Enum(const std::string& name) {
  MsvcType type = Class(name);
  type.kind = MsvcType::Kind::kEnum;
  type.class_key = "enum";
  return type;
}
MsvcType Indirect(MsvcType::Kind kind, MsvcType target, bool const_target = false) {
  target.is_const = const_target;
  MsvcType type;
  type.kind = kind;
  type.size = 8;
  type.target = {target};
  return type;
}
MsvcType Ptr(MsvcType target) { return Indirect(MsvcType::Kind::kPointer, std::move(target)); }
MsvcType Ref(MsvcType target) {
  return Indirect(MsvcType::Kind::kLValueReference, std::move(target), true);
}

MsvcFunction Member(const std::string& cls, const std::string& name, MsvcType result,
                    std::vector<MsvcType> parameters) {
  MsvcFunction function;
  function.scope = {cls};
  function.name = name;
  function.is_member = true;
  function.access = "public";
  function.result = std::move(result);
  function.parameters = std::move(parameters);
  return function;
}
MsvcFunction Static(const std::string& cls, const std::string& name, MsvcType result,
                    std::vector<MsvcType> parameters) {
  MsvcFunction function = Member(cls, name, std::move(result), std::move(parameters));
  function.is_member = false;
  function.is_static = true;
  return function;
}

const game_abi::Entry& EntryNamed(std::string_view host_name) {
  for (const game_abi::Entry& entry : game_abi::kEntries) {
    if (entry.host_name == host_name) return entry;
  }
  ADD_FAILURE() << "no entry " << host_name;
  return game_abi::kEntries[0];
}

// The game's classes as the test databases have them.
std::optional<std::uint64_t> Sizes(std::string_view name) {
  static const std::map<std::string, std::uint64_t, std::less<>> sizes = {
      {"FName", 8},    {"FVector", 12},     {"FLinearColor", 16},
      {"FString", 16}, {"FSmallString", 8}, {"FWideColour", 32}};
  const auto found = sizes.find(name);
  if (found == sizes.end()) return std::nullopt;
  return found->second;
}

std::optional<std::string> Misfit(std::string_view host_name, const MsvcFunction& function) {
  const game_abi::Entry& entry = EntryNamed(host_name);
  return CallMisfit(entry, PluginCall(entry), GameCall(function, Sizes));
}

std::vector<MsvcType> SpawnParameters() {
  return {Class("TSubclassOf<APrimalDinoCharacter>"),
          Class("FVector"),
          Bool(),
          Int(),
          Float(),
          Bool(),
          Float(),
          Float(),
          Float(),
          Float(),
          Class("TSubclassOf<UPrimalColorSet>")};
}

struct FitCase {
  const char* what;
  const char* host_name;
  MsvcFunction game;
  const char* reason;  // nullptr: fits; otherwise the reason given, exactly
};

TEST(GameBuildFit, MachineLevelRules) {
  std::vector<MsvcType> spawn_extra = SpawnParameters();
  spawn_extra.push_back(Bool());
  std::vector<MsvcType> spawn_reference = SpawnParameters();
  spawn_reference[1] = Ref(Class("FVector"));
  MsvcFunction variadic = Member("AActor", "Destroy", Bool(), {Bool(), Bool()});
  variadic.variadic = true;
  const std::vector<FitCase> cases = {
      {"the game's own signature", "AActor.Destroy",
       Member("AActor", "Destroy", Bool(), {Bool(), Bool()}), nullptr},
      {"a static function taking the object as its first parameter is called alike",
       "AActor.Destroy",
       Static("AActor", "Destroy", Bool(), {Ptr(Class("AActor")), Bool(), Bool()}), nullptr},
      {"an ignored result may be anything in a register", "AActor.Destroy",
       Member("AActor", "Destroy", Int(), {Bool(), Bool()}), nullptr},
      {"one parameter fewer", "AActor.Destroy", Member("AActor", "Destroy", Bool(), {Bool()}),
       "the plug-in passes 3 arguments where the game's function takes 2"},
      {"one parameter more", "AActor.Destroy",
       Member("AActor", "Destroy", Bool(), {Bool(), Bool(), Bool()}),
       "the game's function takes 4 arguments and the plug-in passes 3: it reads what was never "
       "passed"},
      {"a variadic function", "AActor.Destroy", variadic,
       "the game's function takes 4 arguments and the plug-in passes 3: it reads what was never "
       "passed"},
      {"a result read that the game does not return", "APrimalDinoCharacter.BPIsTamed",
       Member("APrimalDinoCharacter", "BPIsTamed", Void(), {}),
       "the plug-in reads a bool as the result, where the game's function returns nothing"},
      {"a result read with another signedness", "UPrimalCharacterStatusComponent.GetCharacterLevel",
       Member("UPrimalCharacterStatusComponent", "GetCharacterLevel", Unsigned(), {}),
       "the plug-in reads a signed 32-bit integer (int) as the result, where the game's function "
       "returns an unsigned 32-bit integer (unsigned int)"},
      {"an enum is its integer", "UPrimalCharacterStatusComponent.GetCharacterLevel",
       Member("UPrimalCharacterStatusComponent", "GetCharacterLevel", Enum("ELevel"), {}), nullptr},
      {"a parameter's signedness", "RCONClientConnection.SendMessageW",
       Member("RCONClientConnection", "SendMessageW", Void(),
              {Unsigned(), Int(), Ptr(Class("FString"))}),
       "the plug-in passes a signed 32-bit integer (int) as the 2nd argument, where the game's "
       "function takes an unsigned 32-bit integer (unsigned int)"},
      {"a parameter's width", "FMemory.Malloc",
       Static("FMemory", "Malloc", Ptr(Void()), {Int(), Unsigned()}),
       "the plug-in passes an unsigned 64-bit integer (unsigned __int64) as the 1st argument, "
       "where the game's function takes a signed 32-bit integer (int)"},
      {"FMemory::Malloc as the plug-in calls it", "FMemory.Malloc",
       Static("FMemory", "Malloc", Ptr(Void()), {Size(), Unsigned()}), nullptr},
      {"a class returned from a static function through the caller's storage",
       "UVictoryCore.ClassToStringReference",
       Static("UVictoryCore", "ClassToStringReference", Class("FString"),
              {Class("TSubclassOf<UObject>")}),
       nullptr},
      {"a class of 8 bytes returned from a static function in a register",
       "UVictoryCore.ClassToStringReference",
       Static("UVictoryCore", "ClassToStringReference", Class("FSmallString"),
              {Class("TSubclassOf<UObject>")}),
       "the plug-in passes 2 arguments where the game's function takes 1"},
      {"a class returned from a member function always through the caller's storage", "FName.Init",
       Member("FName", "Init", Class("FSmallString"),
              {Ptr(Builtin(MsvcType::Kind::kCharacter, "wchar_t", 2, false)), Int(),
               Enum("EFindName"), Bool(), Int()}),
       "the game's function takes 7 arguments and the plug-in passes 6: it reads what was never "
       "passed"},
      {"an enum parameter is its integer", "FName.Init",
       Member("FName", "Init", Void(),
              {Ptr(Builtin(MsvcType::Kind::kCharacter, "wchar_t", 2, false)), Int(),
               Enum("EFindName"), Bool(), Int()}),
       nullptr},
      {"a name by value", "AActor.ActorHasTag",
       Member("AActor", "ActorHasTag", Bool(), {Class("FName")}), nullptr},
      {"a name by reference is a pointer, not the name's 8 bytes", "AActor.ActorHasTag",
       Member("AActor", "ActorHasTag", Bool(), {Ref(Class("FName"))}),
       "the plug-in passes FName by value (8 bytes) as the 2nd argument, where the game's function "
       "takes a pointer (const FName&)"},
      {"a colour by value and by reference travel alike",
       "AShooterPlayerController.ClientServerChatDirectMessage",
       Member("AShooterPlayerController", "ClientServerChatDirectMessage", Void(),
              {Ptr(Class("FString")), Ref(Class("FLinearColor")), Bool()}),
       nullptr},
      {"a copy of another size", "AShooterPlayerController.ClientServerChatDirectMessage",
       Member("AShooterPlayerController", "ClientServerChatDirectMessage", Void(),
              {Ptr(Class("FString")), Class("FWideColour"), Bool()}),
       "the plug-in passes the address of a copy of FLinearColor (16 bytes) as the 3rd argument, "
       "where the game's function takes the address of a copy of FWideColour (32 bytes)"},
      {"a class handle is a pointer", "UGameplayStatics.GetAllActorsOfClass",
       Static(
           "UGameplayStatics", "GetAllActorsOfClass", Void(),
           {Ptr(Class("UObject")), Class("TSubclassOf<AActor>"), Ref(Class("TArray<AActor *>"))}),
       nullptr},
      {"a detour of the game's own signature", "ANPCZoneManager.SpawnNPC",
       Member("ANPCZoneManager", "SpawnNPC", Ptr(Class("APrimalDinoCharacter")), SpawnParameters()),
       nullptr},
      {"a detour with one argument fewer than the game passes", "ANPCZoneManager.SpawnNPC",
       Member("ANPCZoneManager", "SpawnNPC", Ptr(Class("APrimalDinoCharacter")), spawn_extra),
       "reads 12 of its 13 arguments"},
      {"a location by reference travels as the copy's address does", "ANPCZoneManager.SpawnNPC",
       Member("ANPCZoneManager", "SpawnNPC", Ptr(Class("APrimalDinoCharacter")), spawn_reference),
       nullptr},
      {"a detour's float for the game's double", "APrimalDinoCharacter.Die",
       Member(
           "APrimalDinoCharacter", "Die", Bool(),
           {Double(), Ref(Class("FDamageEvent")), Ptr(Class("AController")), Ptr(Class("AActor"))}),
       "reads its 2nd argument as a float where the game passes a double"},
      {"a detour's result is read by the game's callers", "APrimalDinoCharacter.Die",
       Member(
           "APrimalDinoCharacter", "Die", Void(),
           {Float(), Ref(Class("FDamageEvent")), Ptr(Class("AController")), Ptr(Class("AActor"))}),
       "returns a bool where the game's callers read nothing"},
      {"a detour that returns nothing where the game returns a value",
       "APrimalDinoCharacter.Destroyed", Member("APrimalDinoCharacter", "Destroyed", Int(), {}),
       "returns nothing where the game's callers read a signed 32-bit integer (int)"},
      {"a detour with more arguments than the game passes", "UShooterCheatManager.DestroyWildDinos",
       Static("UShooterCheatManager", "DestroyWildDinos", Void(), {}),
       "reads 1 argument where the game passes 0"},
  };
  for (const FitCase& c : cases) {
    const std::optional<std::string> reason = Misfit(c.host_name, c.game);
    if (c.reason == nullptr) {
      EXPECT_FALSE(reason.has_value()) << c.what << ": " << reason.value_or("");
    } else {
      EXPECT_EQ(reason.value_or("fits"), c.reason) << c.what;
    }
  }
}

TEST(GameBuildTable, SpellsThePlugInsAssumptions) {
  EXPECT_EQ(SpellEntry(EntryNamed("ANPCZoneManager.SpawnNPC")),
            "APrimalDinoCharacter* ANPCZoneManager::SpawnNPC(TSubclassOf<APrimalDinoCharacter>, "
            "FVector, bool, int, float, bool, float, float, float, float, "
            "TSubclassOf<UPrimalColorSet>)");
  EXPECT_EQ(SpellEntry(EntryNamed("UVictoryCore.ClassToStringReference")),
            "FString UVictoryCore::ClassToStringReference(UClass*)");
  EXPECT_EQ(SpellEntry(EntryNamed("FWeakObjectPtr.Get")), "UObject* FWeakObjectPtr::Get(bool)");
  EXPECT_EQ(SpellEntry(EntryNamed("AActor.Destroy")),
            "bool AActor::Destroy(bool, bool) (result not read)");
  EXPECT_EQ(SpellEntry(EntryNamed("FMemory.Free")), "void FMemory::Free(void*)");
  EXPECT_EQ(SpellEntry(EntryNamed("AActor.Tags")), "TArray<FName> AActor::Tags");
  EXPECT_EQ(SpellMachine(EntryNamed("AActor.TargetingTeam").result), "int32");
  // Every game name the plug-in uses: 17 called, 5 detoured, 3 fields.
  std::map<game_abi::Use, int> uses;
  for (const game_abi::Entry& entry : game_abi::kEntries) ++uses[entry.use];
  EXPECT_EQ(uses[game_abi::Use::kCalled], 17);
  EXPECT_EQ(uses[game_abi::Use::kDetoured], 5);
  EXPECT_EQ(uses[game_abi::Use::kField], 3);
}

TEST(GameBuildTable, DocumentIsGeneratedFromTheTable) {
  std::ifstream in(KESTROVAR_GAME_ABI_DOC, std::ios::binary);
  std::stringstream committed;
  committed << in.rdbuf();
  std::string text = committed.str();
  // A checkout on Windows may have given the file CR LF line ends.
  for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
    text.erase(at, 1);
  }
  EXPECT_EQ(text, GameAbiDocument())
      << "docs/game-abi.md is stale: regenerate it with `game_abi_doc > docs/game-abi.md` (the "
         "program is built in the build's bin/ folder)";
}

#if defined(KESTROVAR_GAME_FIXTURES)

const fs::path kGames = KESTROVAR_GAME_FIXTURES;

fs::path Pdb(const std::string& variant) { return kGames / variant / "ShooterGameServer.pdb"; }

GameBuildResult CheckVariant(const std::string& variant) {
  return CheckGameBuildIn(kGames / variant, std::nullopt);
}

std::vector<std::string> Codes(const GameBuildResult& result) {
  std::vector<std::string> codes;
  for (const Finding& finding : result.findings) codes.push_back(finding.code);
  return codes;
}

// Each test build: the state and the one finding it must give.
TEST(GameBuildFiles, EachBuildGivesItsFinding) {
  struct Case {
    const char* variant;
    GameBuildState state;
    std::vector<std::string> codes;
    const char* in_message;
  };
  const std::vector<Case> cases = {
      {"full", GameBuildState::kFits, {}, ""},
      {"class-in-base", GameBuildState::kFits, {}, ""},
      {"spawn-extra",
       GameBuildState::kMisfit,
       {"game-detour-differs"},
       "every spawn would pass through a detour that reads 12 of its 13 arguments: the server "
       "may crash at the first spawn"},
      {"die-double",
       GameBuildState::kMisfit,
       {"game-detour-differs"},
       "reads its 2nd argument as a float where the game passes a double"},
      {"no-destroy",
       GameBuildState::kMisfit,
       {"game-function-missing"},
       "the game build has no AActor::Destroy"},
      {"team-int8",
       GameBuildState::kMisfit,
       {"game-field-differs"},
       "it is a signed 8-bit integer (signed char), where the plug-in reads int "
       "AActor::TargetingTeam as int32"},
      {"no-tags",
       GameBuildState::kMisfit,
       {"game-field-missing"},
       "the game build's AActor has no field Tags"},
      {"cut-short",
       GameBuildState::kUnreadable,
       {"game-database-unreadable"},
       "cannot read the game's program database"},
      {"not-pdb",
       GameBuildState::kUnreadable,
       {"game-database-unreadable"},
       "this is no program database"},
      {"mismatch",
       GameBuildState::kUnreadable,
       {"game-database-mismatch"},
       "the program database was not built with the server program"},
  };
  for (const Case& c : cases) {
    const GameBuildResult result = CheckVariant(c.variant);
    EXPECT_EQ(result.state, c.state) << c.variant;
    EXPECT_EQ(Codes(result), c.codes) << c.variant;
    if (!result.findings.empty()) {
      EXPECT_NE(result.findings[0].message.find(c.in_message), std::string::npos)
          << c.variant << ": " << result.findings[0].message;
      EXPECT_EQ(result.findings[0].unusable_input, c.state == GameBuildState::kUnreadable)
          << c.variant;
    }
  }
}

TEST(GameBuildFiles, TheDatabaseIsFoundWhereAServerKeepsIt) {
  const fs::path server = fs::current_path() / "server";
  fs::remove_all(server);
  // Nothing to check: one note, and the verdict says so.
  fs::create_directories(server);
  GameBuildResult result = CheckGameBuildIn(server, std::nullopt);
  EXPECT_EQ(result.state, GameBuildState::kUnchecked);
  EXPECT_EQ(Codes(result), std::vector<std::string>{"game-build-unchecked"});
  EXPECT_EQ(result.findings.at(0).severity, Severity::kNote);
  // A database without a program of its name is not the server's.
  const fs::path binaries = server / "shootergame" / "BINARIES" / "Win64";
  fs::create_directories(binaries);
  fs::copy_file(Pdb("no-tags"), binaries / "Other.pdb");
  EXPECT_EQ(CheckGameBuildIn(server, std::nullopt).state, GameBuildState::kUnchecked);
  // The program and its database, letters in any case.
  fs::copy_file(kGames / "no-tags" / "ShooterGameServer.exe", binaries / "Other.EXE");
  result = CheckGameBuildIn(server, std::nullopt);
  EXPECT_EQ(Codes(result), std::vector<std::string>{"game-field-missing"});
  // --pdb wins over what is found.
  result = CheckGameBuildIn(server, Pdb("full").string());
  EXPECT_EQ(result.state, GameBuildState::kFits);
  // Beside the host, SERVER_DIR itself.
  fs::remove_all(server / "shootergame");
  fs::copy_file(Pdb("die-double"), server / "Game.pdb");
  fs::copy_file(kGames / "die-double" / "ShooterGameServer.exe", server / "game.exe");
  EXPECT_EQ(Codes(CheckGameBuildIn(server, std::nullopt)),
            std::vector<std::string>{"game-detour-differs"});
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}
std::uint32_t U32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}
void PutU32(std::string& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

// Where the full build's program keeps its CodeView data ("RSDS") and the debug directory entry
// that points at it (its PointerToRawData field).
struct CodeViewPlace {
  std::size_t data = 0;
  std::size_t pointer_field = 0;
};
CodeViewPlace FindCodeView(const std::string& exe) {
  CodeViewPlace place;
  place.data = exe.find("RSDS");
  for (std::size_t at = 12; at + 4 <= exe.size(); ++at) {
    if (U32(exe, at) == place.data && U32(exe, at - 12) == 2) place.pointer_field = at;
  }
  return place;
}

// The database must be the one that the program beside it was linked with.
TEST(GameBuildFiles, TheDatabaseMustBelongToTheProgram) {
  const fs::path server = fs::current_path() / "paired-server";
  fs::remove_all(server);
  const fs::path binaries = server / "ShooterGame" / "Binaries" / "Win64";
  fs::create_directories(binaries);
  const std::string exe = ReadBytes(kGames / "full" / "ShooterGameServer.exe");
  const CodeViewPlace place = FindCodeView(exe);
  ASSERT_NE(place.data, std::string::npos);
  ASSERT_NE(place.pointer_field, 0u);
  auto check = [&](const std::string& program, const std::string& database,
                   const std::optional<std::string>& pdb = std::nullopt) {
    WriteBytes(binaries / "ShooterGameServer.exe", program);
    // Written, not copied: MinGW's copy_file fails on an existing file whatever the options.
    WriteBytes(binaries / "ShooterGameServer.pdb", ReadBytes(Pdb(database)));
    return CheckGameBuildIn(server, pdb);
  };

  // The matching pair fits, with nothing said of the pairing.
  GameBuildResult result = check(exe, "full");
  EXPECT_EQ(result.state, GameBuildState::kFits);
  EXPECT_EQ(Codes(result), std::vector<std::string>{});

  // Another build's database: an error on input the doctor cannot use, and no other finding from
  // it (its misfit belongs to the other build).
  result = check(exe, "spawn-extra");
  EXPECT_EQ(result.state, GameBuildState::kUnreadable);
  ASSERT_EQ(Codes(result), std::vector<std::string>{"game-database-mismatch"});
  EXPECT_TRUE(result.findings[0].unusable_input);
  EXPECT_EQ(result.findings[0].severity, Severity::kError);
  EXPECT_EQ(result.findings[0].fix, "copy the .pdb that came with this game build beside the .exe");
  const PdbOpenResult spawn = OpenPdbFile(Pdb("spawn-extra"));
  ASSERT_TRUE(spawn.reader);
  EXPECT_NE(result.findings[0].message.find("this one is " +
                                            SpellGuid(spawn.reader->Identity().guid) + " age 1)"),
            std::string::npos)
      << result.findings[0].message;
  DoctorReport report;
  report.game_build = result.state;
  report.findings = result.findings;
  EXPECT_EQ(DoctorLoads(report), std::nullopt);
  EXPECT_NE(DoctorVerdict(report).find("cannot tell whether the plug-in will load here and fit the "
                                       "game build"),
            std::string::npos);

  // The same GUID with another age is another link.
  std::string aged = exe;
  PutU32(aged, place.data + 20, 2);
  EXPECT_EQ(Codes(check(aged, "full")), std::vector<std::string>{"game-database-mismatch"});

  // --pdb is held against the server's own program, before the one beside the file.
  result = check(exe, "full", Pdb("spawn-extra").string());
  EXPECT_EQ(Codes(result), std::vector<std::string>{"game-database-mismatch"});
  result = check(exe, "full", Pdb("full").string());
  EXPECT_EQ(result.state, GameBuildState::kFits);
  fs::remove(binaries / "ShooterGameServer.exe");
  result = CheckGameBuildIn(server, Pdb("spawn-extra").string());  // spawn-extra's own program
  EXPECT_EQ(Codes(result), std::vector<std::string>{"game-detour-differs"});
  // A database alone: a note, and the check goes on.
  const fs::path alone = fs::current_path() / "alone";
  fs::remove_all(alone);
  fs::create_directories(alone);
  fs::copy_file(Pdb("no-tags"), alone / "ShooterGameServer.pdb");
  result = CheckGameBuildIn(server, (alone / "ShooterGameServer.pdb").string());
  EXPECT_EQ(Codes(result),
            (std::vector<std::string>{"game-database-unpaired", "game-field-missing"}));
  EXPECT_EQ(result.findings[0].severity, Severity::kNote);

  // A program whose pairing cannot be told: a note, and the database is checked as it is.
  std::string no_rsds = exe;
  no_rsds.replace(place.data, 4, "NB10");
  std::string pointer_outside = exe;
  PutU32(pointer_outside, place.pointer_field, 0xFFFFFF00u);
  std::string size_too_small = exe;
  PutU32(size_too_small, place.pointer_field - 8, 8);
  for (const std::string& program :
       {no_rsds, pointer_outside, size_too_small, exe.substr(0, exe.size() / 2), std::string()}) {
    result = check(program, "spawn-extra");
    EXPECT_EQ(result.state, GameBuildState::kMisfit);
    EXPECT_EQ(Codes(result),
              (std::vector<std::string>{"game-database-unpaired", "game-detour-differs"}));
  }
  // The PE reader itself: no identity, never a failure of the image.
  for (const std::string& program : {no_rsds, pointer_outside, size_too_small}) {
    const PeReadResult read = ReadPeImage(program);
    ASSERT_TRUE(read.image) << read.problem;
    EXPECT_FALSE(read.image->codeview);
  }
}

TEST(GameBuildFiles, TheVerdictSaysWhatWasChecked) {
  DoctorReport report;
  report.game_build = GameBuildState::kFits;
  EXPECT_EQ(DoctorVerdict(report),
            "verdict: the plug-in will load in this folder and fits the game build, as far as its "
            "files can tell");
  report.findings.push_back(
      Finding{Severity::kWarning, "x.pdb", 0, 0, "game-function-unchecked", "", "", false});
  EXPECT_EQ(DoctorVerdict(report),
            "verdict: the plug-in will load in this folder and fits the game build, as far as its "
            "files can tell; 1 of the game's functions could not be read (warnings above)");
  report.findings.clear();
  report.game_build = GameBuildState::kMisfit;
  report.findings.push_back(
      Finding{Severity::kError, "x.pdb", 0, 0, "game-field-missing", "", "", false});
  EXPECT_EQ(DoctorVerdict(report),
            "verdict: the plug-in does not fit this game build: do not start the server with it; "
            "fix the 1 error above");
  report.findings.push_back(
      Finding{Severity::kError, "version.dll", 0, 0, "host-missing", "", "", false});
  EXPECT_EQ(DoctorVerdict(report),
            "verdict: the plug-in will not load in this folder, or not as configured, or does not "
            "fit the game build: fix the 2 errors above");
}

#if defined(KESTROVAR_PDBUTIL) || defined(KESTROVAR_READOBJ)
// What a command prints on standard output, or nullopt when it cannot run.
std::optional<std::string> Output(const std::string& command) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return std::nullopt;
  std::string out;
  char buffer[4096];
  for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  if (pclose(pipe) != 0) return std::nullopt;
  return out;
}
#endif

#if defined(KESTROVAR_PDBUTIL)
// Our reader and llvm-pdbutil-19 agree on every test build: the same public symbols, and the same
// fields of every class defined there.
TEST(GameBuildFiles, ReaderAgreesWithLlvmPdbutil) {
  for (const char* variant : {"full", "class-in-base", "team-int8", "no-tags", "spawn-extra"}) {
    SCOPED_TRACE(variant);
    const fs::path pdb = Pdb(variant);
    const PdbOpenResult opened = OpenPdbFile(pdb);
    ASSERT_TRUE(opened.reader) << opened.problem;

    const std::optional<std::string> publics =
        Output(std::string(KESTROVAR_PDBUTIL) + " dump --publics '" + pdb.string() + "'");
    ASSERT_TRUE(publics.has_value());
    std::set<std::string> theirs;
    std::istringstream lines(*publics);
    for (std::string line; std::getline(lines, line);) {
      const std::size_t open = line.find("S_PUB32");
      if (open == std::string::npos) continue;
      const std::size_t start = line.find('`', open), end = line.rfind('`');
      if (start != std::string::npos && end > start)
        theirs.insert(line.substr(start + 1, end - start - 1));
    }
    std::set<std::string> ours;
    opened.reader->ForEachPublic([&](std::string_view name, bool) { ours.emplace(name); });
    EXPECT_EQ(ours, theirs);
    EXPECT_GE(ours.size(), 22u);

    // Field lists by index, and each defined class's field list.
    const std::optional<std::string> types =
        Output(std::string(KESTROVAR_PDBUTIL) + " dump --types '" + pdb.string() + "'");
    ASSERT_TRUE(types.has_value());
    std::map<std::string, std::vector<std::string>> field_lists;  // "0x103E" -> member names
    std::map<std::string, std::string> classes;                   // name -> field list index
    std::istringstream records(*types);
    std::string current_list, current_class;
    for (std::string line; std::getline(records, line);) {
      const std::size_t bar = line.find(" | LF_");
      if (bar != std::string::npos) {
        const std::string index = line.substr(line.find("0x"), bar - line.find("0x"));
        current_list = line.find("LF_FIELDLIST") != std::string::npos ? index : "";
        if (!current_list.empty()) field_lists[current_list];
        current_class.clear();
        if (line.find("LF_CLASS") != std::string::npos ||
            line.find("LF_STRUCTURE") != std::string::npos) {
          const std::size_t start = line.find('`'), end = line.rfind('`');
          current_class = line.substr(start + 1, end - start - 1);
        }
        continue;
      }
      const std::size_t member = line.find("- LF_MEMBER [name = `");
      if (!current_list.empty() && member != std::string::npos) {
        const std::size_t start = member + 21;
        field_lists[current_list].push_back(line.substr(start, line.find('`', start) - start));
      }
      const std::size_t list = line.find("field list: 0x");
      if (!current_class.empty() && list != std::string::npos) {
        classes[current_class] =
            line.substr(list + 12, line.find_first_of(" ,", list + 12) - list - 12);
      }
    }
    ASSERT_GE(classes.size(), 20u);
    for (const auto& [name, list] : classes) {
      const std::optional<PdbClass> cls = opened.reader->FindClass(name);
      ASSERT_TRUE(cls.has_value()) << name;
      std::vector<std::string> fields;
      for (const PdbField& field : cls->fields) fields.push_back(field.name);
      EXPECT_EQ(fields, field_lists[list]) << name;
    }
  }
}
#endif

#if defined(KESTROVAR_READOBJ)
// The GUID and age that the PE reader reads from each test program are what llvm-readobj-19 reads,
// and what the database linked with it names.
TEST(GameBuildFiles, DebugDirectoryAgreesWithLlvmReadobj) {
  for (const char* variant : {"full", "spawn-extra", "no-tags"}) {
    SCOPED_TRACE(variant);
    const fs::path exe = kGames / variant / "ShooterGameServer.exe";
    const std::optional<std::string> dump =
        Output(std::string(KESTROVAR_READOBJ) + " --coff-debug-directory '" + exe.string() + "'");
    ASSERT_TRUE(dump.has_value());
    auto field = [&](const std::string& name) {
      const std::size_t at = dump->find(name + ": ");
      if (at == std::string::npos) return std::string();
      const std::size_t start = at + name.size() + 2;
      return dump->substr(start, dump->find('\n', start) - start);
    };
    const PeReadResult read = ReadPeImage(ReadBytes(exe));
    ASSERT_TRUE(read.image) << read.problem;
    ASSERT_TRUE(read.image->codeview);
    EXPECT_EQ(SpellGuid(read.image->codeview->guid), field("PDBGUID"));
    EXPECT_EQ(std::to_string(read.image->codeview->age), field("PDBAge"));
    EXPECT_EQ(read.image->codeview->pdb_path, field("PDBFileName"));
    const PdbOpenResult pdb = OpenPdbFile(Pdb(variant));
    ASSERT_TRUE(pdb.reader);
    EXPECT_EQ(pdb.reader->Identity().guid, read.image->codeview->guid);
    EXPECT_EQ(pdb.reader->Identity().age, read.image->codeview->age);
  }
}
#endif

#endif  // KESTROVAR_GAME_FIXTURES

}  // namespace
