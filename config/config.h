#pragma once

// The configuration document and the questions the rest of the plug-in asks of it. Nothing is
// cached: every question is answered from the document as it is at that moment, so a reload takes
// effect at the next question.

#include <cstdint>
#include <nlohmann/json.hpp>

#include "config/config_lookup.h"
#include "host/engine_types.h"

// The document read from config.json; JSON null until the first successful read.
extern nlohmann::json config;

// Reads <server dir>/ArkApi/Plugins/Kestrovar/config.json and replaces `config` with it. Throws
// std::runtime_error("Can't open config.json") or the JSON library's parse error; on any failure
// `config` keeps its previous value.
void ReadConfig();

// The limit of a class: its entry in "Max_Dino_Counts", -1 (no limit) when it has none. Throws the
// JSON library's type error for a value of the wrong type.
int32_t GetMaxDinoCount(const FString& class_key);

// Whether a newly spawned creature of this level is to be removed for its level.
bool IsOverMaxLevel(int32_t level);
