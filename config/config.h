#pragma once

// The configuration document and the questions the rest of the plug-in asks of it. The limits are
// found through an index of the document in force, rebuilt whenever the document is replaced; every
// other question is answered from the document itself. A reload takes effect at the next question.

#include <cstdint>
#include <nlohmann/json.hpp>

#include "config/config_lookup.h"
#include "host/engine_types.h"
#include "host/text.h"

// The document read from config.json; JSON null until the first successful read. Replaced only
// through ReplaceConfig, so that the index of its limits follows it.
extern nlohmann::json config;

// Makes `document` the configuration in force. Should it fail (it allocates), the document in force
// stays as it was.
void ReplaceConfig(nlohmann::json document);

// Reads <server dir>/ArkApi/Plugins/Kestrovar/config.json and replaces `config` with it. Throws
// std::runtime_error("Can't open config.json") or the JSON library's parse error; on any failure
// `config` keeps its previous value.
void ReadConfig();

// The limit of a class: the entry of "Max_Dino_Counts" whose name is the UTF-8 text of the whole
// key (zero units included), -1 (no limit) when there is none. Throws the JSON library's type error
// for a value of the wrong type.
int32_t GetMaxDinoCount(const FString& class_key);
// The same for a key already digested (host/text.h), so that a spawn reads its key once.
int32_t GetMaxDinoCount(const FString& class_key, const KeyDigest& digest);

// Whether a newly spawned creature of this level is to be removed for its level.
bool IsOverMaxLevel(int32_t level);
