#pragma once

// One simulated server with the real plug-in library loaded, driven by a sequence of world
// operations that are applied to the reference model too, so that the count table (read back
// through "kvar.dumpdinos"), every creature's state and tags, and the stand-in's fault list can be
// compared with what the model says after any step. The fuzz target decodes its bytes into such a
// sequence; the soak draws one from a seeded generator.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "fuzz/world_model.h"

namespace world_ops {

// Three bytes make one operation: the first picks it, the other two its arguments.
inline constexpr size_t kOperationBytes = 3;

// The plug-in library beside the running program.
std::string PluginBesideProgram(const char* file_name);

class WorldRun {
 public:
  // Starts a fresh server in `server_dir` (created if needed) with the limits configuration on
  // disk, loads the plug-in and lets the game mode initialise.
  WorldRun(const std::filesystem::path& server_dir, const std::string& plugin_path);
  ~WorldRun();
  WorldRun(const WorldRun&) = delete;
  WorldRun& operator=(const WorldRun&) = delete;

  // Brings the world and the model back to where the constructor left them without starting a
  // server or loading the library again: a new map, the limits configuration reloaded (the library
  // loaded again if a step had unloaded it) and the game mode initialised. Returns what went
  // wrong, or "".
  std::string Restart();

  // Applies one operation to the world and to the model. Returns what went wrong, or "".
  std::string Step(uint8_t op, uint8_t a, uint8_t b);
  // Compares the table and the fault list, and unless `with_creatures` is false every creature's
  // state and tags too, with the model. Returns what differs.
  std::string Check(bool with_creatures = true);

  const world_model::Model& Model() const { return model_; }
  uint64_t Steps() const { return steps_; }

 private:
  uint64_t PickCreature(uint8_t a, uint8_t b) const;
  void WriteConfig(world_model::ConfigFile file);
  std::string Load();

  std::filesystem::path plugin_folder_;
  std::string plugin_path_;
  world_model::Model model_;
  uint64_t steps_ = 0;
};

}  // namespace world_ops
