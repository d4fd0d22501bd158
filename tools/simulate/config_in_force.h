#pragma once

// What the simulation knows of the configuration the plug-in holds: the file's text as the plug-in
// last read it successfully, with the limits and the level rule taken from it as the plug-in
// takes them (exact keys; numbers as signed 32-bit integers).

#include <cstdint>
#include <map>
#include <optional>
#include <string>

struct ConfigInForce {
  bool readable = false;                  // the text parsed as a JSON object
  std::map<std::string, int32_t> limits;  // "Max_Dino_Counts", the usable entries
  std::optional<int32_t> level_rule;      // "MaxDinoLevel" while "DestroyDinosOverLevel" is true

  // The limit of a class key: empty when there is none (no entry, -1, or an unusable value).
  std::optional<int32_t> LimitOf(const std::string& key) const;
};

ConfigInForce ReadConfigInForce(const std::string& text);
