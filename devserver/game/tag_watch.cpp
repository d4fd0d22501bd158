#include "devserver/game/tag_watch.h"

#include <string>

#include "devserver/game/engine_allocator.h"
#include "devserver/game/world.h"
#include "devserver/journal.h"

namespace devserver {

namespace {

// A tag array the plug-in left in a state the game could not read.
bool ReportBrokenTags(const CreatureRecord& creature) {
  const EngineArray<FName>& tags = creature.tags;
  const std::string who = "the tag array of #" + std::to_string(creature.id);
  if (tags.ArrayNum < 0 || tags.ArrayMax < 0 || tags.ArrayNum > tags.ArrayMax) {
    RecordFault(who + " is corrupt: count " + std::to_string(tags.ArrayNum) + ", capacity " +
                std::to_string(tags.ArrayMax));
    return true;
  }
  if (tags.ArrayMax == 0) return false;
  const int64_t bytes = engine_allocator::LiveBlockSize(tags.Data);
  if (bytes < 0) {
    RecordFault(who + " has storage that is not a live FMemory block");
    return true;
  }
  if (bytes < static_cast<int64_t>(sizeof(FName)) * tags.ArrayMax) {
    RecordFault(who + " has a capacity of " + std::to_string(tags.ArrayMax) + " in a block of " +
                std::to_string(bytes) + " bytes");
    return true;
  }
  return false;
}

}  // namespace

void TagWatch::Watch(CreatureRecord& creature) {
  if (creature.tags_watched) return;
  creature.tags_watched = true;
  watched_.push_back(&creature);
}

void TagWatch::Sync(CreatureRecord& creature, const NameTable& names) {
  const EngineArray<FName>& tags = creature.tags;
  if (tags.ArrayNum == creature.reported_tags) return;
  if (ReportBrokenTags(creature)) {
    creature.reported_tags = tags.ArrayNum;
    return;
  }
  // Fewer than reported: tags were taken off; from here on only new ones are news.
  for (int32_t i = creature.reported_tags; i < tags.ArrayNum; ++i) {
    const FName tag = tags.Data[i];
    if (!names.Knows(tag)) {
      RecordFault("the tag array of #" + std::to_string(creature.id) + " holds a name (index " +
                  std::to_string(tag.ComparisonIndex) + ") that FName.Init never made");
    } else if (EventsWanted()) {
      RecordEventF("tag #{} {}", creature.id, *names.Display(tag));
    }
  }
  creature.reported_tags = tags.ArrayNum;
}

void TagWatch::SyncWatched(const NameTable& names) {
  if (syncing_ || watched_.empty()) return;
  syncing_ = true;
  for (CreatureRecord* creature : watched_) {
    creature->tags_watched = false;
    Sync(*creature, names);
  }
  watched_.clear();
  syncing_ = false;
}

void TagWatch::SyncAll(GameWorld& world, const NameTable& names) {
  SyncWatched(names);
  syncing_ = true;
  for (const auto& creature : world.Creatures()) Sync(*creature, names);
  syncing_ = false;
}

}  // namespace devserver
