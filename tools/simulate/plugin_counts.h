#pragma once

// The plug-in's count per class key, as its table keeps it: keys that differ only in the letter
// case of ASCII letters share one count, so the maps hold folded keys.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "devserver/control/server.h"

// From the plug-in's own kvar.dumpdinos reply: "KEY. Num: N" a line.
std::map<std::string, int64_t> CountsOfDump(const std::vector<devserver::RconReply>& replies);
// The world's account of it: the creatures of each class the plug-in counted and did not count
// down.
std::map<std::string, int64_t> CountsOfWorld(const std::vector<devserver::ClassLedger>& ledgers);
// The count of a class key; empty when there are no counts.
std::optional<int64_t> CountOf(const std::optional<std::map<std::string, int64_t>>& counts,
                               const std::string& key);
// The key as the maps hold it: A-Z folded to a-z, as the plug-in's table compares keys.
std::string CountKey(std::string key);
