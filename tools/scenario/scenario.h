#pragma once

// A scenario: the world a simulation runs in (zones, classes' lives, the population placed before
// the world comes up, how the plug-in comes in) and what administrators do while it runs.

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "devserver/control/server.h"
#include "tools/common/positioned_json.h"

// The most creatures that one count may ask for, in a scenario and in `serve`'s commands alike:
// a million creatures take about a gigabyte.
inline constexpr int kMostCreaturesAtOnce = 1000000;

struct LevelRange {
  int32_t low = 1;
  int32_t high = 1;
};

struct PopulationGroup {
  std::string reference;
  int count = 0;
  LevelRange levels;
  bool tamed = false;
};

enum class Channel { Console, Rcon };

struct ScenarioAction {
  enum class Kind { Write, Reload, Dump, DestroyWildDinos, Unload, Load, Tame, Kill, Place };
  double at_hours = 0;
  Kind kind = Kind::Dump;
  Channel via = Channel::Rcon;  // reload, dump
  std::string file;             // write: a plain file name in the plug-in's folder
  std::string text;             // write: the file's new content
  PopulationGroup group;        // tame, kill (reference and count), place
};

struct Scenario {
  std::string name;
  double hours = 24;
  double sample_minutes = 10;
  bool load_into_running_world = false;  // false: loaded before the world comes up
  double load_at_hours = 0;              // into a running world: when
  double corpse_decay_seconds = 60;
  std::map<std::string, devserver::ClassLife> classes;
  std::vector<devserver::ZoneSpec> zones;
  std::vector<PopulationGroup> population;
  std::vector<ScenarioAction> actions;  // in time order (stable for equal times)
};

// An error at a place in a scenario file: "FILE:LINE:COLUMN: MESSAGE", the column counted in
// characters.
class ScenarioError : public std::runtime_error {
 public:
  ScenarioError(const std::string& file, TextPosition at, const std::string& message);
  TextPosition place;
};

// Reads a scenario from its JSON text; `file` names it in errors ("FILE:LINE:COLUMN: ...").
// Throws ScenarioError.
Scenario ReadScenario(std::string_view text, const std::string& file);
// The same from a file; a file that cannot be read throws std::runtime_error.
Scenario ReadScenarioFile(const std::string& path);
