#pragma once

// The doctor's game-build check: the server program's database (.pdb) held against the table of
// what the plug-in assumes about the game (host/game_abi.h). Fit is judged as the machine sees a
// call in the x64 Microsoft calling convention, since that is all a call or a detour through an
// address relies on.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/game_abi.h"
#include "tools/check/finding.h"
#include "tools/doctor/msvc_names.h"

class PdbReader;

// A value as the machine passes, returns or stores it.
struct MachineValue {
  enum class Kind { kVoid, kBool, kInteger, kFloatingPoint, kPointer, kStruct, kOther };
  Kind kind = Kind::kVoid;
  std::uint64_t size = 0;  // kStruct: 0 when the class's size is unknown
  bool is_signed = false;
  // kPointer: a class passed by value that travels as the address of a copy (larger than 8 bytes
  // or not 1, 2, 4 or 8 bytes); `size` is then the class's.
  bool copy = false;
  std::string type;  // as a message spells it: "float", "FVector", "AActor*"
};

// A function's arguments and result as the machine passes them, object and hidden result address
// included.
struct MachineCall {
  std::vector<MachineValue> arguments;
  MachineValue result;
};

// The size of a class, by its name as a mangled name spells it; nullopt when it is not known.
using ClassSizes = std::function<std::optional<std::uint64_t>(std::string_view name)>;

// What the plug-in passes and reads for a function entry of the table.
MachineCall PluginCall(const game_abi::Entry& entry);
// What a game function takes and returns.
MachineCall GameCall(const MsvcFunction& function, const ClassSizes& sizes);

// Why the game function does not take the plug-in's call ("the plug-in passes ...") or detour (in
// words that follow "a detour that": "reads 12 of its 13 arguments"), or nullopt when it fits. A
// called function may return anything that the plug-in ignores; a detour must match the game's
// function exactly.
std::optional<std::string> CallMisfit(const game_abi::Entry& entry, const MachineCall& plugin,
                                      const MachineCall& game);

// The plug-in's assumption, readably: "bool AActor::Destroy(bool, bool)"; a field as
// "int AActor::TargetingTeam".
std::string SpellEntry(const game_abi::Entry& entry);
// The machine's view of a value of the table: "int32", "pointer", "FVector (12 bytes, by a
// pointer to a copy)".
std::string SpellMachine(const game_abi::Value& value);

// docs/game-abi.md, generated from the table.
std::string GameAbiDocument();

// A server program and its database.
struct GameFiles {
  std::filesystem::path program;  // the .exe; empty when none was found for a --pdb file
  std::filesystem::path database;
};

// Server programs (*.exe) with a database of the same name beside them, letter case aside, where
// a server keeps its program: SERVER_DIR itself and SERVER_DIR/ShooterGame/Binaries/Win64.
std::vector<GameFiles> FindGameDatabases(const std::filesystem::path& server_dir);

// The program that a database given with --pdb is held against: the server's own program of the
// same name (where FindGameDatabases looks), else the .exe of that name beside the file; empty
// when there is neither.
std::filesystem::path ProgramForDatabase(const std::filesystem::path& server_dir,
                                         const std::filesystem::path& pdb);

// Whether the database belongs to the program: an error finding (game-database-mismatch, input
// the doctor cannot use) when it was written for another build, a note
// (game-database-unpaired) when the pairing cannot be checked, nothing when it belongs.
std::optional<Finding> CheckDatabasePairing(const std::filesystem::path& program,
                                            const std::filesystem::path& database,
                                            const PdbReader& reader);

// In order of weight: several programs in a folder answer with the heaviest.
enum class GameBuildState { kUnchecked, kFits, kMisfit, kUnreadable };

struct GameBuildResult {
  GameBuildState state = GameBuildState::kUnchecked;
  std::vector<Finding> findings;
};

// Holds the table against a database that has been opened; `shown` names it in findings.
GameBuildResult CheckGameBuild(const PdbReader& reader, const std::string& shown);

// Finds the database under the server folder (or takes `pdb`), reads it and checks it.
GameBuildResult CheckGameBuildIn(const std::filesystem::path& server_dir,
                                 const std::optional<std::string>& pdb);
