#pragma once

// A reference model of what the plug-in's count table and the world's creatures must be after any
// sequence of world operations. It is written from the plug-in's documented behaviour alone and
// shares no code with the plug-in, so that a change to the plug-in's implementation (an index, a
// faster lookup) is checked against an independent account of the same rules.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace world_model {

// Creature classes the operations use, by reference text; -1 stands for an actor without a class.
// Two of them differ only in letter case, so they share one entry of the table.
inline constexpr int kClassCount = 5;
const char* ClassReference(int cls);
// "Blueprint'" + the reference text less its last two characters + "'"; "" for no class.
std::string ClassKey(int cls);

// The configuration files the operations write, each with what it means.
enum class ConfigFile { Limits, LevelRule, CutOff, Mistyped, CaseOfKeys, Missing };
inline constexpr int kConfigFileCount = 6;
// The file's text; empty for Missing, which stands for no file at all.
const char* ConfigText(ConfigFile file);

enum class Tag { Counted, Ignore };
enum class State { Alive, Dead, Removed };

struct Creature {
  int cls = 0;  // its own class; -1: no class
  std::optional<int32_t> level;
  int32_t team = 0;
  bool tamed = false;
  bool refuses_death = false;
  State state = State::Alive;
  std::vector<Tag> tags;
};

// Orders class keys as the table does: ASCII letters without regard to case, then by byte.
struct KeyLess {
  bool operator()(const std::string& a, const std::string& b) const;
};
using Table = std::map<std::string, uint32_t, KeyLess>;

enum class Plugin { Released, Inert, Loaded };

class Model {
 public:
  explicit Model(double corpse_decay_seconds);

  // Operations, each as the world and the plug-in see it. Creature ids count from 1.
  void Spawn(int asked_class, int made_class, std::optional<int32_t> level);
  void Place(int cls, std::optional<int32_t> level, bool tamed, int32_t team);
  bool Kill(uint64_t id);
  void Destroy(uint64_t id);
  void Tame(uint64_t id, int32_t team);
  void RefuseDeath(uint64_t id);
  void Cheat();
  void InitGame();
  // An operator writes the file (or removes it).
  void WriteConfig(ConfigFile file) { on_disk_ = file; }
  // Writes the file (or removes it) and asks for a reload over RCON. Returns the reply expected.
  std::string Reload(ConfigFile file);
  void Advance(double seconds);
  void Unload();
  void Load();

  // What "kvar.dumpdinos" over RCON answers: the table, or the unknown-command reply when the
  // plug-in has no commands.
  std::string DumpReply() const;

  const Table& CountTable() const { return table_; }
  const std::vector<Creature>& Creatures() const { return creatures_; }
  Plugin PluginState() const { return plugin_; }
  bool GateOpen() const { return gate_open_; }
  size_t PendingRemovals() const;
  // The limit in force for a class key: -1 for none, -2 when it cannot be read.
  int64_t LimitOf(const std::string& key) const;
  // Whether the configuration in force is the one the last sweep worked with.
  bool LimitsSteadySinceSweep() const { return plugin_ == Plugin::Loaded && steady_; }

 private:
  struct Timed {
    double due;
    uint64_t sequence;
    bool removal;  // a deferred removal of the plug-in; otherwise a body's decay
    uint64_t id;
  };

  Creature* Find(uint64_t id);
  void Remove(uint64_t id);
  bool ShouldCountDown(const Creature& creature) const;
  void CountDown(const std::string& key);
  // The room test; a limit that cannot be read leaves room (the creature is kept and counted).
  bool HasRoom(const std::string& key);
  bool TooHighLevel(int32_t level) const;
  void Sweep();
  void Queue(double due, bool removal, uint64_t id);

  double corpse_decay_;
  double now_ = 0;
  uint64_t sequence_ = 0;
  bool world_ready_ = false;
  Plugin plugin_ = Plugin::Released;
  bool gate_open_ = false;
  ConfigFile on_disk_ = ConfigFile::Missing;
  std::optional<ConfigFile> in_force_;
  bool steady_ = false;
  Table table_;
  std::vector<Creature> creatures_;
  std::vector<Timed> timeline_;
};

}  // namespace world_model
