#include "tools/serve/sim_commands.h"

#include <fmt/format.h>

#include <filesystem>
#include <stdexcept>

#include "devserver/control/server.h"
#include "host/api.h"
#include "tools/common/ascii_case.h"
#include "tools/common/files.h"
#include "tools/common/output.h"
#include "tools/serve/words.h"

namespace {

using Words = std::vector<std::string>;

void RequireWords(const Words& words, std::size_t least, std::size_t most, const char* usage) {
  if (words.size() < least || words.size() > most) {
    throw std::invalid_argument(std::string("usage: ") + usage);
  }
}

std::string JoinIds(std::string_view verb, const std::vector<devserver::CreatureId>& ids) {
  std::string text(verb);
  if (ids.empty()) text.append(" none");
  for (const auto id : ids) text.append(" ").append(std::to_string(id));
  return text;
}

// An existing creature, still in the world.
devserver::CreatureInfo CreatureInWorld(const std::string& word) {
  const uint64_t id = ReadCreatureId(word);
  const auto creature = devserver::FindCreature(id);
  if (!creature) throw std::invalid_argument("no creature " + std::to_string(id));
  if (creature->state == devserver::CreatureState::Removed) {
    throw std::invalid_argument("creature " + std::to_string(id) + " has left the world");
  }
  return *creature;
}

// A class's reference text as the game writes it: "/Game/.../Name.Name_C". Anything else would
// make a class whose key no configuration can name.
const std::string& ClassReference(const std::string& word) {
  const bool path = word.size() > 3 && word.front() == '/' && word.find('.') != std::string::npos &&
                    word.ends_with("_C") && word.find_first_of("'\"") == std::string::npos;
  if (!path) {
    throw std::invalid_argument(
        "\"" + word +
        "\" is not a class's reference text; write it as the game does, e.g. "
        "/Game/Creatures/Strider/Strider_Character.Strider_Character_C");
  }
  return word;
}

void Spawn(const Words& words) {
  RequireWords(words, 2, 4, "sim.spawn REF [COUNT] [LEVEL|none]");
  devserver::SpawnRequest request;
  request.reference = ClassReference(words[1]);
  const int count = words.size() > 2 ? ReadCount(words[2]) : 1;
  if (words.size() > 3) request.level = ReadLevel(words[3]);
  PrintLine(JoinIds("spawned", devserver::Spawn(request, count)));
}

void Place(const Words& words) {
  constexpr const char* usage = "sim.place REF [COUNT] [LEVEL|none] [tamed] [team=N]";
  RequireWords(words, 2, 6, usage);
  devserver::PlaceRequest request;
  request.reference = ClassReference(words[1]);
  int count = 1;
  std::size_t positional = 0;  // COUNT, then LEVEL, before any flag
  for (std::size_t i = 2; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (word == "tamed") {
      request.tamed = true;
    } else if (word.rfind("team=", 0) == 0) {
      request.team = ReadInt32(word.substr(5), "team");
    } else if (positional == 0 && !request.tamed && !request.team) {
      count = ReadCount(word);
      ++positional;
    } else if (positional == 1 && !request.tamed && !request.team) {
      request.level = ReadLevel(word);
      ++positional;
    } else {
      throw std::invalid_argument("unexpected \"" + word + "\"; usage: " + usage);
    }
  }
  PrintLine(JoinIds("placed", devserver::Place(request, count)));
}

void Kill(const Words& words) {
  RequireWords(words, 2, 2, "sim.kill ID");
  const auto creature = CreatureInWorld(words[1]);
  // A body can be hit again: the game's Die runs and answers false.
  PrintLine(devserver::Kill(creature.id)
                ? fmt::format("killed {}", creature.id)
                : fmt::format("not killed {}: it was dead already", creature.id));
}

void DestroyOne(const Words& words) {
  RequireWords(words, 2, 2, "sim.destroy ID");
  const auto creature = CreatureInWorld(words[1]);
  devserver::Destroy(creature.id);
  PrintLine(fmt::format("destroyed {}", creature.id));
}

void Tame(const Words& words) {
  RequireWords(words, 2, 3, "sim.tame ID [team=N]");
  const auto creature = CreatureInWorld(words[1]);
  std::optional<int32_t> team;
  if (words.size() > 2) {
    if (words[2].rfind("team=", 0) != 0) throw std::invalid_argument("usage: sim.tame ID [team=N]");
    team = ReadInt32(words[2].substr(5), "team");
  }
  if (!devserver::Tame(creature.id, team)) {
    throw std::invalid_argument(
        fmt::format("creature {} is dead and cannot be tamed", creature.id));
  }
  PrintLine(fmt::format("tamed {}", creature.id));
}

int CreaturesInWorld() {
  int count = 0;
  for (const auto& creature : devserver::ListCreatures()) {
    if (creature.state != devserver::CreatureState::Removed) ++count;
  }
  return count;
}

void Cheat(const Words& words) {
  RequireWords(words, 2, 2, "sim.cheat destroywilddinos");
  if (words[1] != "destroywilddinos") {
    throw std::invalid_argument("unknown cheat \"" + words[1] + "\"; known: destroywilddinos");
  }
  const int before = CreaturesInWorld();
  devserver::CheatDestroyWildDinos();
  PrintLine(fmt::format("destroyed {} wild creatures", before - CreaturesInWorld()));
}

void Reinit(const Words& words) {
  RequireWords(words, 1, 1, "sim.reinit");
  devserver::InitGame();
  PrintLine("game mode initialised");
}

void Advance(const Words& words) {
  RequireWords(words, 2, 2, "sim.advance SECONDS");
  devserver::Advance(ReadSeconds(words[1]));
  PrintLine(fmt::format("time {}", devserver::Now()));
}

const char* StateName(devserver::CreatureState state) {
  switch (state) {
    case devserver::CreatureState::Alive:
      return "alive";
    case devserver::CreatureState::Dead:
      return "dead";
    case devserver::CreatureState::Removed:
      return "removed";
  }
  return "?";
}

void List(const Words& words) {
  RequireWords(words, 1, 2, "sim.list [REF]");
  for (const auto& creature : devserver::ListCreatures(words.size() > 1 ? words[1] : "")) {
    std::string tags;
    for (const auto& tag : creature.tags) tags += (tags.empty() ? "" : ",") + tag;
    PrintLine(fmt::format("#{} {} level {} team {} {} {} tags {}", creature.id, creature.reference,
                          creature.level ? std::to_string(*creature.level) : "none", creature.team,
                          creature.tamed ? "tamed" : "wild", StateName(creature.state),
                          tags.empty() ? "-" : tags));
  }
}

void Census(const Words& words) {
  RequireWords(words, 1, 1, "sim.census");
  for (const auto& [key, count] : devserver::CensusInKeyOrder()) {
    PrintLine(fmt::format("census {} {}", key, count));
  }
}

void Rcon(const Words& words, std::string_view line) {
  if (words.size() < 2) throw std::invalid_argument("usage: sim.rcon TEXT");
  // The request's text is the line after the verb, spacing kept.
  devserver::RconCommand(RestOfLine(line, 1));
}

// An operator edits the plug-in's files while the server runs. Only names of files directly in the
// plug-in's folder are taken, so a script cannot write elsewhere.
std::filesystem::path PluginFile(const std::string& name) {
  if (name.empty() || name == "." || name == ".." ||
      name.find_first_of("/\\:") != std::string::npos) {
    throw std::invalid_argument("\"" + name + "\" is not a file name in the plug-in's folder");
  }
  return std::filesystem::path(ArkApi::Tools::GetCurrentDir() + "/ArkApi/Plugins/Kestrovar") / name;
}

void Write(const Words& words, std::string_view line) {
  if (words.size() < 2) throw std::invalid_argument("usage: sim.write FILE [TEXT]");
  // The text is the rest of the line after the file name, spacing kept.
  const std::string_view text = RestOfLine(line, 2);
  WriteWholeFile(PluginFile(words[1]), text);
  PrintLine(fmt::format("wrote {} ({} bytes)", words[1], text.size()));
}

void Remove(const Words& words) {
  RequireWords(words, 2, 2, "sim.remove FILE");
  const std::filesystem::path path = PluginFile(words[1]);
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) {
    throw std::invalid_argument("cannot remove " + words[1] + ": it is a folder, not a file");
  }
  if (!std::filesystem::remove(path, error)) {
    throw std::invalid_argument(error ? "cannot remove " + path.string() + ": " + FileProblem(error)
                                      : "no file " + words[1] + " in the plug-in's folder");
  }
  PrintLine(fmt::format("removed {}", words[1]));
}

}  // namespace

void RunSimCommand(const std::vector<std::string>& words, std::string_view line) {
  // Found ignoring letter case, as the host finds console commands.
  const auto is = [verb = words.at(0)](std::string_view name) {
    return EqualIgnoringAsciiCase(verb, name);
  };
  const std::string& verb = words.at(0);
  if (is("sim.spawn")) return Spawn(words);
  if (is("sim.place")) return Place(words);
  if (is("sim.kill")) return Kill(words);
  if (is("sim.destroy")) return DestroyOne(words);
  if (is("sim.tame")) return Tame(words);
  if (is("sim.cheat")) return Cheat(words);
  if (is("sim.reinit")) return Reinit(words);
  if (is("sim.advance")) return Advance(words);
  if (is("sim.list")) return List(words);
  if (is("sim.census")) return Census(words);
  if (is("sim.rcon")) return Rcon(words, line);
  if (is("sim.write")) return Write(words, line);
  if (is("sim.remove")) return Remove(words);
  throw std::invalid_argument("unknown command \"" + verb +
                              "\"; sim commands: spawn, place, kill, destroy, tame, cheat, reinit, "
                              "advance, list, census, rcon, write, remove (help lists them)");
}

const std::vector<SimCommandHelp>& SimCommandsHelp() {
  static const std::vector<SimCommandHelp> commands = {
      {"sim.spawn REF [COUNT] [LEVEL|none]", "a spawn zone spawns creatures, through the gate"},
      {"sim.place REF [COUNT] [LEVEL|none] [tamed] [team=N]", "creatures enter outside any zone"},
      {"sim.kill ID", "the creature dies; its body stays until it decays"},
      {"sim.destroy ID", "the creature leaves the world"},
      {"sim.tame ID [team=N]", "the creature is tamed"},
      {"sim.cheat destroywilddinos", "the game's cheat removes every wild creature"},
      {"sim.reinit", "the game mode initialises again"},
      {"sim.advance SECONDS", "the game clock moves on"},
      {"sim.list [REF]", "every creature ever made"},
      {"sim.census", "live wild creatures per class key"},
      {"sim.rcon TEXT", "TEXT arrives as an RCON command"},
      {"sim.write FILE [TEXT]", "write TEXT to FILE in the plug-in's folder"},
      {"sim.remove FILE", "delete FILE from the plug-in's folder"},
  };
  return commands;
}
