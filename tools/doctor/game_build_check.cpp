#include "tools/doctor/game_build_check.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string_view>
#include <utility>

#include "tools/doctor/mapped_file.h"
#include "tools/doctor/pdb_reader.h"
#include "tools/doctor/pe_image.h"
#include "tools/doctor/server_files.h"

namespace fs = std::filesystem;
using game_abi::Entry;
using game_abi::Shape;
using game_abi::Use;
using MKind = MachineValue::Kind;

namespace {

std::string Shown(const fs::path& path) { return path.lexically_normal().string(); }

// A class of this size travels in a register; any other goes as the address of a copy.
bool InRegister(std::uint64_t size) { return size == 1 || size == 2 || size == 4 || size == 8; }

std::string Spell(const game_abi::Value& value) {
  std::string text = value.const_target ? "const " : "";
  text += value.type;
  if (value.spelt_as_pointer) text += '*';
  return text;
}

std::string Ordinal(std::size_t n) {
  const char* suffix = (n % 100 >= 11 && n % 100 <= 13) ? "th"
                       : n % 10 == 1                    ? "st"
                       : n % 10 == 2                    ? "nd"
                       : n % 10 == 3                    ? "rd"
                                                        : "th";
  return std::to_string(n) + suffix;
}

// "a float", "an int32": the machine's kind of a value, for a reason.
std::string Described(const MachineValue& value) {
  switch (value.kind) {
    case MKind::kVoid:
      return "nothing";
    case MKind::kBool:
      return "a bool";
    case MKind::kInteger:
      return std::string(value.is_signed ? "a signed " : "an unsigned ") +
             std::to_string(value.size * 8) + "-bit integer (" + value.type + ")";
    case MKind::kFloatingPoint:
      return value.size == 4 ? "a float" : "a double";
    case MKind::kPointer:
      if (value.copy) {
        return "the address of a copy of " + value.type +
               (value.size ? " (" + std::to_string(value.size) + " bytes)" : "");
      }
      return "a pointer (" + value.type + ")";
    case MKind::kStruct:
      return value.type + " by value" +
             (value.size ? " (" + std::to_string(value.size) + " bytes)" : "");
    case MKind::kOther:
      return value.type + ", which the plug-in never passes";
  }
  return value.type;
}

MachineValue MachineOf(const game_abi::Value& value) {
  MachineValue machine;
  machine.size = value.size;
  machine.is_signed = value.is_signed;
  machine.type = Spell(value);
  switch (value.kind) {
    case game_abi::Kind::kVoid:
      machine.kind = MKind::kVoid;
      break;
    case game_abi::Kind::kBool:
      machine.kind = MKind::kBool;
      break;
    case game_abi::Kind::kInteger:
      machine.kind = MKind::kInteger;
      break;
    case game_abi::Kind::kFloatingPoint:
      machine.kind = MKind::kFloatingPoint;
      break;
    case game_abi::Kind::kPointer:
      machine.kind = MKind::kPointer;
      break;
    case game_abi::Kind::kStruct:
      machine.kind = InRegister(value.size) ? MKind::kStruct : MKind::kPointer;
      machine.copy = !InRegister(value.size);
      break;
    case game_abi::Kind::kEngineArray:
      machine.kind = MKind::kOther;
      break;
  }
  return machine;
}

bool IsSubclassHandle(const MsvcType& type) {
  return type.qualified_name.size() == 1 && type.qualified_name[0].rfind("TSubclassOf<", 0) == 0;
}

MachineValue GameValue(const MsvcType& type, const ClassSizes& sizes) {
  MachineValue value;
  value.type = SpellMsvcType(type);
  value.size = static_cast<std::uint64_t>(type.size);
  value.is_signed = type.is_signed;
  switch (type.kind) {
    case MsvcType::Kind::kVoid:
      value.kind = MKind::kVoid;
      break;
    case MsvcType::Kind::kBool:
      value.kind = MKind::kBool;
      value.size = 1;
      break;
    case MsvcType::Kind::kCharacter:
    case MsvcType::Kind::kInteger:
      value.kind = MKind::kInteger;
      break;
    case MsvcType::Kind::kEnum:
      // An enum is its underlying integer; the mangling of a plain enum says int.
      value.kind = MKind::kInteger;
      if (value.size == 0) {
        value.size = 4;
        value.is_signed = true;
      }
      break;
    case MsvcType::Kind::kFloatingPoint:
      value.kind = MKind::kFloatingPoint;
      break;
    case MsvcType::Kind::kPointer:
    case MsvcType::Kind::kLValueReference:
    case MsvcType::Kind::kRValueReference:
    case MsvcType::Kind::kNullptr:
      value.kind = MKind::kPointer;
      value.size = 8;
      break;
    case MsvcType::Kind::kClass:
      if (IsSubclassHandle(type)) {
        // A class handle holds one pointer and travels as one.
        value.kind = MKind::kPointer;
        value.size = 8;
        break;
      }
      value.size = sizes ? sizes(type.name).value_or(0) : 0;
      if (value.size != 0 && !InRegister(value.size)) {
        value.kind = MKind::kPointer;
        value.copy = true;
      } else {
        value.kind = MKind::kStruct;
      }
      break;
    default:
      value.kind = MKind::kOther;
      break;
  }
  return value;
}

// Whether the machine passes the plug-in's value where the game's is expected alike.
bool ValueFits(const MachineValue& plugin, const MachineValue& game) {
  if (plugin.kind != game.kind) return false;
  switch (plugin.kind) {
    case MKind::kVoid:
    case MKind::kBool:
      return true;
    case MKind::kInteger:
      return plugin.size == game.size && plugin.is_signed == game.is_signed;
    case MKind::kFloatingPoint:
      return plugin.size == game.size;
    case MKind::kPointer:
      // A copy of a class must be as large as the one the other side reads; a plain pointer
      // carries whatever it points to.
      return !(plugin.copy && game.copy) || game.size == plugin.size;
    case MKind::kStruct:
      return game.size != 0 ? game.size == plugin.size : game.type == plugin.type;
    case MKind::kOther:
      return false;
  }
  return false;
}

std::string Arguments(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " argument" : " arguments");
}

}  // namespace

MachineCall PluginCall(const Entry& entry) {
  MachineCall call;
  for (std::size_t i = 0; i < entry.parameter_count; ++i) {
    call.arguments.push_back(MachineOf(entry.parameters[i]));
  }
  call.result = MachineOf(entry.result);
  return call;
}

MachineCall GameCall(const MsvcFunction& function, const ClassSizes& sizes) {
  MachineCall call;
  if (function.is_member) {
    std::string object;
    for (const std::string& part : function.scope) object += (object.empty() ? "" : "::") + part;
    call.arguments.push_back(MachineValue{MKind::kPointer, 8, false, false, object + "*"});
  }
  call.result = GameValue(function.result, sizes);
  if (function.result.kind == MsvcType::Kind::kClass) {
    // A class comes back in a register only from a static function, and only when it is as large
    // as one; otherwise through the caller's storage, whose address is passed after the object
    // and given back.
    const std::uint64_t size = call.result.size;
    if (function.is_member || size == 0 || !InRegister(size)) {
      MachineValue address{MKind::kPointer, 8, false, false, SpellMsvcType(function.result) + "*"};
      call.arguments.push_back(address);
      call.result = address;
    }
  }
  for (const MsvcType& parameter : function.parameters) {
    call.arguments.push_back(GameValue(parameter, sizes));
  }
  if (function.variadic) {
    call.arguments.push_back(MachineValue{MKind::kOther, 0, false, false, "..."});
  }
  return call;
}

std::optional<std::string> CallMisfit(const Entry& entry, const MachineCall& plugin,
                                      const MachineCall& game) {
  const bool detour = entry.use == Use::kDetoured;
  const std::size_t ours = plugin.arguments.size(), theirs = game.arguments.size();
  if (theirs > ours) {
    if (detour) {
      return "reads " + std::to_string(ours) + " of its " + Arguments(theirs);
    }
    return "the game's function takes " + Arguments(theirs) + " and the plug-in passes " +
           std::to_string(ours) + ": it reads what was never passed";
  }
  if (theirs < ours) {
    if (detour) {
      return "reads " + Arguments(ours) + " where the game passes " + std::to_string(theirs);
    }
    return "the plug-in passes " + Arguments(ours) + " where the game's function takes " +
           std::to_string(theirs);
  }
  for (std::size_t i = 0; i < ours; ++i) {
    if (ValueFits(plugin.arguments[i], game.arguments[i])) continue;
    if (detour) {
      return "reads its " + Ordinal(i + 1) + " argument as " + Described(plugin.arguments[i]) +
             " where the game passes " + Described(game.arguments[i]);
    }
    return "the plug-in passes " + Described(plugin.arguments[i]) + " as the " + Ordinal(i + 1) +
           " argument, where the game's function takes " + Described(game.arguments[i]);
  }
  const bool result_matters = detour || (entry.result_read && plugin.result.kind != MKind::kVoid);
  if (result_matters && !ValueFits(plugin.result, game.result)) {
    if (detour) {
      return "returns " + Described(plugin.result) + " where the game's callers read " +
             Described(game.result);
    }
    return "the plug-in reads " + Described(plugin.result) + " as the result, where the game's " +
           "function returns " + Described(game.result);
  }
  return std::nullopt;
}

std::string SpellEntry(const Entry& entry) {
  const std::string qualified =
      std::string(entry.ClassName()) + "::" + std::string(entry.MemberName());
  if (entry.use == Use::kField) return Spell(entry.result) + " " + qualified;
  std::size_t first = 0;
  std::string result = Spell(entry.result);
  if (entry.shape == Shape::kMember) first = 1;
  if (entry.shape == Shape::kResultFirst) {
    first = 1;
    result = entry.parameters[0].type;
  }
  std::string text = result + " " + qualified + "(";
  for (std::size_t i = first; i < entry.parameter_count; ++i) {
    text += (i > first ? ", " : "") + Spell(entry.parameters[i]);
  }
  return text + ")" +
         (entry.use == Use::kCalled && !entry.result_read && result != "void" &&
                  entry.shape != Shape::kResultFirst
              ? " (result not read)"
              : "");
}

std::string SpellMachine(const game_abi::Value& value) {
  switch (value.kind) {
    case game_abi::Kind::kVoid:
      return "none";
    case game_abi::Kind::kBool:
      return "bool";
    case game_abi::Kind::kInteger:
      return std::string(value.is_signed ? "int" : "uint") + std::to_string(value.size * 8);
    case game_abi::Kind::kFloatingPoint:
      return value.size == 4 ? "float" : "double";
    case game_abi::Kind::kPointer:
      return "pointer";
    case game_abi::Kind::kStruct:
      return std::string(value.type) + " (" + std::to_string(value.size) + " bytes" +
             (InRegister(value.size) ? ", in a register)" : ", by a pointer to a copy)");
    case game_abi::Kind::kEngineArray:
      return "engine array (16 bytes: a pointer and two int32) of " + std::to_string(value.size) +
             "-byte elements";
  }
  return "";
}

std::string GameAbiDocument() {
  std::string text =
      "# The game functions and fields of Kestrovar.dll\n\n"
      "Generated from the table in `host/game_abi.h` (`game_abi_doc > docs/game-abi.md` after a "
      "build);\ndo not edit. The test `game_build_test` fails when this file no longer matches "
      "the table.\n\n"
      "The plug-in reaches these game functions and fields by their host names, through the "
      "host's\n`GetAddress` and `SetHook`; the host hands out an address for every name and "
      "the plug-in tests none.\n`kestrovar doctor SERVER_DIR` holds this table against the "
      "server program's database (`.pdb`),\njudging each function as the x64 Microsoft calling "
      "convention passes its arguments: the\nobject first for a member function, the address "
      "of a class result after it, a reference as a\npointer, an enum as its integer, a class "
      "larger than 8 bytes as the address of a copy.\n\n"
      "Arguments are listed as the plug-in passes them, object first. A called function fits "
      "when one\nfunction of that name takes exactly these arguments (and returns what the "
      "plug-in reads); a\ndetoured one must match the game's function exactly, result included; "
      "a field must exist in its\nclass or a base class with the kind the plug-in reads.\n\n"
      "| host name | use | the plug-in's signature | arguments (machine) | result (machine) | "
      "used for |\n|---|---|---|---|---|---|\n";
  for (const Entry& entry : game_abi::kEntries) {
    const char* use = entry.use == Use::kCalled     ? "called"
                      : entry.use == Use::kDetoured ? "detoured"
                                                    : "field";
    std::string arguments;
    for (std::size_t i = 0; i < entry.parameter_count; ++i) {
      arguments += (i ? ", " : "") + SpellMachine(entry.parameters[i]);
    }
    std::string result = SpellMachine(entry.result);
    if (entry.use == Use::kField) {
      arguments = "-";
      result += " (read)";
    } else if (entry.use == Use::kCalled && !entry.result_read) {
      result = "not read";
    }
    std::string purpose = entry.purpose;
    if (entry.use == Use::kDetoured) purpose = "every " + purpose;
    text += "| `" + std::string(entry.host_name) + "` | " + use + " | `" + SpellEntry(entry) +
            "` | " + (arguments.empty() ? "none" : arguments) + " | " + result + " | " + purpose +
            " |\n";
  }
  text +=
      "\nWhat the database cannot tell: what the game's functions do, and the host's own method "
      "tables.\n";
  return text;
}

namespace {

// Where a server keeps its program: SERVER_DIR and, when there is one, ShooterGame/Binaries/Win64.
std::vector<fs::path> ProgramFolders(const fs::path& server_dir) {
  std::vector<fs::path> folders = {server_dir};
  fs::path folder = server_dir;
  for (const char* part : {"ShooterGame", "Binaries", "Win64"}) {
    const std::optional<fs::path> next = FindInFolder(folder, part);
    if (!next) return folders;
    folder = *next;
  }
  folders.push_back(folder);
  return folders;
}

}  // namespace

std::vector<GameFiles> FindGameDatabases(const fs::path& server_dir) {
  std::vector<GameFiles> databases;
  for (const fs::path& where : ProgramFolders(server_dir)) {
    std::error_code error;
    std::map<std::string, fs::path> programs, pdbs;  // by lower-case stem
    for (fs::directory_iterator entry(where, error), end; !error && entry != end;
         entry.increment(error)) {
      std::error_code kind_error;
      const bool regular = entry->is_regular_file(kind_error);
      std::string name;
      try {
        name = LowerAscii(entry->path().filename().string());
      } catch (const std::exception&) {
        continue;  // a name this system cannot spell
      }
      if (regular && name.size() > 4 && name.compare(name.size() - 4, 4, ".exe") == 0) {
        programs[name.substr(0, name.size() - 4)] = entry->path();
      } else if (name.size() > 4 && name.compare(name.size() - 4, 4, ".pdb") == 0) {
        // A folder or an odd file in the database's place is taken too: reading it then says
        // what is wrong, where skipping it would pass the game build as unchecked.
        pdbs[name.substr(0, name.size() - 4)] = entry->path();
      }
    }
    for (const auto& [stem, program] : programs) {
      const auto pdb = pdbs.find(stem);
      if (pdb != pdbs.end()) databases.push_back({program, pdb->second});
    }
  }
  return databases;
}

fs::path ProgramForDatabase(const fs::path& server_dir, const fs::path& pdb) {
  std::string name;
  try {
    name = pdb.stem().string() + ".exe";
  } catch (const std::exception&) {
    return {};  // a name this system cannot spell
  }
  // The program that will run is the server's; the one beside a copied database comes second.
  std::vector<fs::path> folders = ProgramFolders(server_dir);
  folders.push_back(pdb.has_parent_path() ? pdb.parent_path() : fs::path("."));
  for (const fs::path& folder : folders) {
    if (std::optional<fs::path> program = FindInFolder(folder, name)) {
      std::error_code error;
      if (!fs::is_directory(*program, error)) return *program;
    }
  }
  return {};
}

std::optional<Finding> CheckDatabasePairing(const fs::path& program, const fs::path& database,
                                            const PdbReader& reader) {
  const std::string fix = "copy the .pdb that came with this game build beside the .exe";
  auto unpaired = [&](const std::string& file, const std::string& why) {
    return Finding{Severity::kNote,
                   file,
                   0,
                   0,
                   "game-database-unpaired",
                   "whether the program database belongs to this build of the game could not be "
                   "checked: " +
                       why + "; the game build was checked with the database as it is",
                   "make sure the .pdb came with the same game build as the server's .exe",
                   false};
  };
  if (program.empty()) {
    return unpaired(Shown(database),
                    "there is no server program (.exe) of its name beside it or "
                    "in the server folder");
  }
  std::string problem;
  const std::unique_ptr<MappedFile> mapped = MappedFile::Open(program, problem);
  if (!mapped) return unpaired(Shown(program), "cannot read the server program: " + problem);
  const PeReadResult read = ReadPeImage(mapped->Bytes());
  if (!read.image)
    return unpaired(Shown(program), "cannot read the server program: " + read.problem);
  if (!read.image->codeview) {
    return unpaired(Shown(program),
                    "the server program names no program database (its debug "
                    "directory has no CodeView entry)");
  }
  const PeCodeView& built = *read.image->codeview;
  const PdbIdentity identity = reader.Identity();
  // A debugger loads a database whose GUID is the program's and whose age is at least the
  // program's; a greater age means a later link rewrote the database, so its types and symbols
  // may be that link's. The doctor's answers must hold for this very build: equal ages only.
  if (identity.guid == built.guid && identity.age == built.age) return std::nullopt;
  return Finding{Severity::kError,
                 Shown(database),
                 0,
                 0,
                 "game-database-mismatch",
                 "the program database was not built with the server program " + Shown(program) +
                     " (which names database " + SpellGuid(built.guid) + " age " +
                     std::to_string(built.age) + "; this one is " + SpellGuid(identity.guid) +
                     " age " + std::to_string(identity.age) +
                     "): it describes another build of the game, so its answers would not hold "
                     "for this one; the game build was not checked",
                 fix,
                 true};
}

namespace {

// What an operator does about a misfit after a game update.
constexpr const char* kMisfitFix =
    "do not start the server with this build of the plug-in: move ArkApi/Plugins/Kestrovar/ out "
    "of the plug-in folder until a Kestrovar build made for this game build is out "
    "(docs/game-abi.md lists what this build assumes)";

// The prefix of the decorated names of a member `member` of class `cls`: "?Destroy@AActor@@".
std::string DecoratedHead(std::string_view cls, std::string_view member) {
  static const std::map<std::string_view, std::string_view> kOperators = {{"operator=", "?4"},
                                                                          {"operator==", "?8"},
                                                                          {"operator!=", "?9"},
                                                                          {"operator[]", "?A"},
                                                                          {"operator()", "?R"}};
  const auto op = kOperators.find(member);
  const std::string name =
      op != kOperators.end() ? std::string(op->second) : std::string(member) + "@";
  return "?" + name + std::string(cls) + "@@";
}

class GameBuildCheck {
 public:
  GameBuildCheck(const PdbReader& reader, std::string shown)
      : pdb_(reader), shown_(std::move(shown)) {}

  GameBuildResult Run() {
    CollectFunctions();
    for (const Entry& entry : game_abi::kEntries) {
      if (entry.use == Use::kField) {
        CheckField(entry);
      } else {
        CheckFunction(entry);
      }
    }
    if (result_.state == GameBuildState::kUnchecked) result_.state = GameBuildState::kFits;
    return std::move(result_);
  }

 private:
  Finding& Add(Severity severity, const char* code, std::string message, std::string fix) {
    result_.findings.push_back(
        Finding{severity, shown_, 0, 0, code, std::move(message), std::move(fix), false});
    if (severity == Severity::kError && result_.state != GameBuildState::kUnreadable) {
      result_.state = GameBuildState::kMisfit;
    }
    return result_.findings.back();
  }

  // Every public function whose decorated name begins as one of the table's names.
  void CollectFunctions() {
    std::map<std::string, std::size_t, std::less<>> heads;
    for (std::size_t i = 0; i < std::size(game_abi::kEntries); ++i) {
      const Entry& entry = game_abi::kEntries[i];
      if (entry.use != Use::kField) {
        heads[DecoratedHead(entry.ClassName(), entry.MemberName())] = i;
      }
    }
    std::set<std::string> seen;
    pdb_.ForEachPublic([&](std::string_view name, bool) {
      if (name.size() < 4 || name[0] != '?') return;
      const std::size_t end = name.find("@@");
      if (end == std::string_view::npos) return;
      // Found without a copy: a server's database has millions of public symbols.
      const auto head = heads.find(name.substr(0, end + 2));
      if (head == heads.end() || !seen.insert(std::string(name)).second) return;
      candidates_[head->second].emplace_back(name);
    });
  }

  std::optional<std::uint64_t> ClassSize(std::string_view name) {
    std::string key(name);
    const auto known = sizes_.find(key);
    if (known != sizes_.end()) return known->second;
    std::optional<PdbClass> found = pdb_.FindClass(name);
    if (!found) {
      // The database may spell template arguments without the space after a comma.
      std::string compact;
      for (std::size_t i = 0; i < key.size(); ++i) {
        if (key[i] == ' ' && i > 0 && key[i - 1] == ',') continue;
        compact += key[i];
      }
      if (compact != key) found = pdb_.FindClass(compact);
    }
    std::optional<std::uint64_t> size;
    if (found && found->size != 0) size = found->size;
    sizes_[key] = size;
    return size;
  }

  void CheckFunction(const Entry& entry) {
    const std::size_t index = static_cast<std::size_t>(&entry - game_abi::kEntries);
    const bool detour = entry.use == Use::kDetoured;
    const std::string assumed = SpellEntry(entry);
    const std::string name =
        std::string(entry.ClassName()) + "::" + std::string(entry.MemberName());
    std::vector<std::string> theirs;
    std::vector<std::string> reasons;
    std::size_t read = 0;
    std::vector<std::string> declined;  // names of the function that the reader does not read
    const MachineCall plugin = PluginCall(entry);
    const ClassSizes sizes = [this](std::string_view cls) { return ClassSize(cls); };
    for (const std::string& decorated : candidates_[index]) {
      const std::optional<MsvcFunction> function = ParseMsvcFunction(decorated);
      if (!function) {
        declined.push_back(decorated);
        continue;
      }
      if (function->scope != std::vector<std::string>{std::string(entry.ClassName())} ||
          function->name != entry.MemberName()) {
        continue;
      }
      ++read;
      const std::optional<std::string> misfit =
          CallMisfit(entry, plugin, GameCall(*function, sizes));
      if (!misfit) return;
      theirs.push_back(SpellMsvcFunction(*function) + " (" + decorated + ")");
      reasons.push_back(*misfit);
    }
    if (read == 0 && !declined.empty()) {
      // There, but in a shape the name reader declines: neither a fit nor a misfit.
      std::string names;
      for (const std::string& one : declined) names += (names.empty() ? "" : ", ") + one;
      Add(Severity::kWarning, "game-function-unchecked",
          "the game build has " + name + " under a decorated name that the doctor cannot read (" +
              names + "): whether it fits " + assumed + " was not checked",
          "check that function's signature by hand against docs/game-abi.md before you start "
          "the server");
      return;
    }
    if (read == 0) {
      const std::string what = detour ? "detours" : "calls";
      Add(Severity::kError, detour ? "game-detour-missing" : "game-function-missing",
          "the game build has no " + name + ", which the plug-in " + what + " as " + assumed +
              " (host name " + std::string(entry.host_name) + "): the host hands out an address " +
              "all the same, and " +
              (detour ? "the detour would be set on whatever the host takes that name for: the "
                        "server may crash at the first " +
                            std::string(entry.purpose) + ", or the plug-in never sees one"
                      : "the server may crash when the plug-in calls it, for " +
                            std::string(entry.purpose)),
          kMisfitFix);
      return;
    }
    std::string build;
    for (const std::string& one : theirs) build += (build.empty() ? "" : "; ") + one;
    if (detour) {
      Add(Severity::kError, "game-detour-differs",
          "every " + std::string(entry.purpose) + " would pass through a detour that " +
              reasons.front() + ": the server may crash at the first " + entry.purpose +
              ". The plug-in detours " + assumed + "; the build has " + build,
          kMisfitFix);
    } else {
      Add(Severity::kError, "game-function-differs",
          "the game build's " + name + " does not take the plug-in's call: " + reasons.front() +
              ". The plug-in calls " + assumed + "; the build has " + build +
              ". The server may crash when the plug-in calls it, for " + entry.purpose,
          kMisfitFix);
    }
  }

  // The type behind const and volatile.
  PdbType Plain(PdbTypeIndex index) const {
    PdbType type = pdb_.Type(index);
    for (int depth = 0; depth < 8 && type.kind == PdbType::Kind::kModifier; ++depth) {
      type = pdb_.Type(type.target);
    }
    return type;
  }

  std::string DescribeField(const PdbType& type) const {
    switch (type.kind) {
      case PdbType::Kind::kPointer:
        return "a pointer";
      case PdbType::Kind::kInteger:
      case PdbType::Kind::kCharacter:
        return std::string(type.is_signed ? "a signed " : "an unsigned ") +
               std::to_string(type.size * 8) + "-bit integer (" + type.name + ")";
      case PdbType::Kind::kBool:
        return "a bool";
      case PdbType::Kind::kFloatingPoint:
        return type.size == 4 ? "a float" : "a double";
      case PdbType::Kind::kEnum:
        return "the enum " + type.name;
      case PdbType::Kind::kClass:
        return type.name + (type.size ? " (" + std::to_string(type.size) + " bytes)" : "");
      case PdbType::Kind::kArray:
        return "a fixed array";
      default:
        return "a type the doctor does not read";
    }
  }

  // The members of a class, nested classes flattened, at their offsets (at most a few levels).
  void Leaves(const PdbClass& cls, std::uint64_t base, int depth,
              std::vector<std::pair<std::uint64_t, PdbType>>& out) const {
    for (const PdbField& field : cls.fields) {
      const PdbType type = Plain(field.type);
      if (type.kind == PdbType::Kind::kClass && depth < 4) {
        if (std::optional<PdbClass> inner = pdb_.FindClass(type.name)) {
          Leaves(*inner, base + field.offset, depth + 1, out);
          continue;
        }
      }
      out.emplace_back(base + field.offset, type);
    }
  }

  // Why a field's type is not what the plug-in reads, or nullopt when it is.
  std::optional<std::string> FieldMisfit(const game_abi::Value& wanted, const PdbType& type) {
    switch (wanted.kind) {
      case game_abi::Kind::kPointer:
        if (type.kind == PdbType::Kind::kPointer && (type.size == 8 || type.size == 0)) {
          return std::nullopt;
        }
        break;
      case game_abi::Kind::kInteger: {
        PdbType integer = type;
        if (integer.kind == PdbType::Kind::kEnum) integer = Plain(type.target);
        if ((integer.kind == PdbType::Kind::kInteger ||
             integer.kind == PdbType::Kind::kCharacter) &&
            integer.size == wanted.size && integer.is_signed == wanted.is_signed) {
          return std::nullopt;
        }
        break;
      }
      case game_abi::Kind::kEngineArray: {
        if (type.kind != PdbType::Kind::kClass) break;
        const std::optional<PdbClass> cls = pdb_.FindClass(type.name);
        if (!cls || cls->size != 16) break;
        std::vector<std::pair<std::uint64_t, PdbType>> leaves;
        Leaves(*cls, 0, 0, leaves);
        auto at = [&](std::uint64_t offset) -> const PdbType* {
          for (const auto& [where, leaf] : leaves) {
            if (where == offset) return &leaf;
          }
          return nullptr;
        };
        const PdbType* data = at(0);
        const PdbType* num = at(8);
        const PdbType* max = at(12);
        auto int32 = [](const PdbType* t) {
          return t && t->kind == PdbType::Kind::kInteger && t->size == 4 && t->is_signed;
        };
        if (!data || data->kind != PdbType::Kind::kPointer || !int32(num) || !int32(max)) break;
        // The element, from the first template argument: the data pointer of the engine's
        // allocator does not say what it points to.
        const std::size_t open = type.name.find('<');
        if (open == std::string::npos) break;
        std::size_t close = open + 1;
        for (int nesting = 0; close < type.name.size(); ++close) {
          const char c = type.name[close];
          if (c == '<') ++nesting;
          if ((c == ',' || c == '>') && nesting == 0) break;
          if (c == '>') --nesting;
        }
        const std::string element = type.name.substr(open + 1, close - open - 1);
        const std::optional<std::uint64_t> size = ClassSize(element);
        if (size && *size == wanted.size) return std::nullopt;
        return "it is an engine array of " + element +
               (size ? " (" + std::to_string(*size) + " bytes)" : " (a type of unknown size)") +
               ", not of " + std::to_string(wanted.size) + "-byte names";
      }
      default:
        break;
    }
    return "it is " + DescribeField(type);
  }

  void CheckField(const Entry& entry) {
    const std::string assumed = SpellEntry(entry);
    const std::string fix = kMisfitFix;
    const std::string cls(entry.ClassName()), member(entry.MemberName());
    std::optional<PdbClass> start = pdb_.FindClass(cls);
    if (!start) {
      Add(Severity::kError, "game-field-missing",
          "the game build has no class " + cls + ", whose field the plug-in reads as " + assumed +
              " (host name " + std::string(entry.host_name) +
              "): the host hands out an address all the same, and the plug-in would read and "
              "write through it, for " +
              entry.purpose,
          fix);
      return;
    }
    // The class and its bases, breadth first; each class once.
    std::vector<PdbClass> queue{*start};
    std::set<std::string> visited{start->name};
    std::string damaged;
    for (std::size_t i = 0; i < queue.size() && i < 64; ++i) {
      const PdbClass current = queue[i];
      if (!current.problem.empty() && damaged.empty())
        damaged = current.name + ": " + current.problem;
      for (const PdbField& field : current.fields) {
        if (field.name != member) continue;
        const PdbType type = Plain(field.type);
        const std::optional<std::string> misfit = FieldMisfit(entry.result, type);
        if (!misfit) return;
        Add(Severity::kError, "game-field-differs",
            "the game build's " + current.name + "::" + member +
                " is not what the plug-in reads: " + *misfit + ", where the plug-in reads " +
                assumed + " as " + SpellMachine(entry.result) +
                "; it would read and write the wrong bytes, for " + entry.purpose,
            fix);
        return;
      }
      for (const PdbTypeIndex base : current.bases) {
        const PdbType type = pdb_.Type(base);
        if (type.kind != PdbType::Kind::kClass || !visited.insert(type.name).second) continue;
        if (std::optional<PdbClass> found = pdb_.FindClass(type.name)) {
          queue.push_back(std::move(*found));
        }
      }
    }
    if (!damaged.empty()) {
      Add(Severity::kError, "game-database-unreadable",
          "cannot read the class " + damaged + ": whether " + cls + " has the field " + member +
              " cannot be told",
          "give --pdb the server program's database as the game build shipped it")
          .unusable_input = true;
      result_.state = GameBuildState::kUnreadable;
      return;
    }
    Add(Severity::kError, "game-field-missing",
        "the game build's " + cls + " has no field " + member +
            " (nor has any of its base classes): the plug-in reads " + assumed + " (host name " +
            std::string(entry.host_name) +
            "); the host hands out an address all the same, and the plug-in would read and write "
            "through it, for " +
            entry.purpose,
        fix);
  }

  const PdbReader& pdb_;
  std::string shown_;
  std::map<std::size_t, std::vector<std::string>> candidates_;
  std::map<std::string, std::optional<std::uint64_t>> sizes_;
  GameBuildResult result_;
};

}  // namespace

GameBuildResult CheckGameBuild(const PdbReader& reader, const std::string& shown) {
  return GameBuildCheck(reader, shown).Run();
}

namespace {

// The game build as one database tells it; `program` is the server program it is paired with.
GameBuildResult CheckOneDatabase(const fs::path& path, const fs::path& program, bool given) {
  GameBuildResult result;
  const PdbOpenResult opened = OpenPdbFile(path);
  if (!opened.reader) {
    result.state = GameBuildState::kUnreadable;
    result.findings.push_back(Finding{
        Severity::kError, Shown(path), 0, 0, "game-database-unreadable",
        std::string(opened.not_pdb ? "this is no program database"
                                   : "cannot read the game's program database") +
            ": " +
            (opened.not_pdb && opened.problem.rfind("it is no program database: ", 0) == 0
                 ? opened.problem.substr(std::string_view("it is no program database: ").size())
                 : opened.problem) +
            "; the game build was not checked",
        given ? "give --pdb the server program's database (the .pdb beside the server's .exe)"
              : "copy the server program's database again from the game build (verify the game's "
                "files), or give another with --pdb FILE",
        true});
    return result;
  }
  if (std::optional<Finding> pairing = CheckDatabasePairing(program, path, *opened.reader)) {
    const bool mismatch = pairing->severity == Severity::kError;
    result.findings.push_back(std::move(*pairing));
    // A database of another build answers for that build: no verdict on this one from it.
    if (mismatch) {
      result.state = GameBuildState::kUnreadable;
      return result;
    }
  }
  GameBuildResult checked = CheckGameBuild(*opened.reader, Shown(path));
  checked.findings.insert(checked.findings.begin(), result.findings.begin(), result.findings.end());
  return checked;
}

}  // namespace

GameBuildResult CheckGameBuildIn(const fs::path& server_dir,
                                 const std::optional<std::string>& pdb) {
  if (pdb) return CheckOneDatabase(*pdb, ProgramForDatabase(server_dir, *pdb), true);
  const std::vector<GameFiles> found = FindGameDatabases(server_dir);
  GameBuildResult result;
  if (found.empty()) {
    result.findings.push_back(Finding{
        Severity::kNote, Shown(server_dir), 0, 0, "game-build-unchecked",
        "the game build was not checked: there is no server program (.exe) with its program "
        "database (.pdb) beside it here or in ShooterGame/Binaries/Win64, so whether the game "
        "has the functions and fields that the plug-in uses, with the signatures it assumes, "
        "cannot be told",
        "give the server program's database with --pdb FILE (the .pdb that the game build ships "
        "beside the server's .exe)",
        false});
    return result;
  }
  // Every server program here may be the one that runs: each must fit, and the worst answers
  // (a database that cannot be read, then a misfit, then a fit).
  result.state = GameBuildState::kFits;
  for (const GameFiles& files : found) {
    GameBuildResult one = CheckOneDatabase(files.database, files.program, false);
    result.state = std::max(result.state, one.state);
    result.findings.insert(result.findings.end(), std::make_move_iterator(one.findings.begin()),
                           std::make_move_iterator(one.findings.end()));
  }
  return result;
}
