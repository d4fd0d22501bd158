#pragma once

// What the commands (simulate, report, watch) know of the configuration the plug-in holds: the
// file's text as the plug-in last read it successfully, with the limits and the settings taken from
// it by the plug-in's own reader and lookups (text after the top-level value ignored; exact keys;
// numbers as signed 32-bit integers), so that a report always shows what the plug-in enforces.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

struct ConfigInForce {
  bool readable = false;                  // the text read as a JSON object
  std::map<std::string, int32_t> limits;  // "Max_Dino_Counts", the entries the lookup can read
  std::optional<int32_t> level_rule;      // "MaxDinoLevel" while "DestroyDinosOverLevel" is true
  // Each kvar.dumpdinos also writes a dump file; empty when the plug-in cannot read the setting
  // (the dump then fails before it writes one).
  std::optional<bool> writes_dump_files = false;

  // The limit of a class key: empty when there is none (no entry, -1, or an unusable value).
  std::optional<int32_t> LimitOf(const std::string& key) const;
};

ConfigInForce ReadConfigInForce(std::string_view text);

// What differs between two configurations in force, for the notes: "limits KEY 3 -> 5; level rule
// off -> level 90"; empty when nothing does.
std::string Difference(const ConfigInForce& before, const ConfigInForce& after);
