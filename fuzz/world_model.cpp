#include "fuzz/world_model.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace world_model {

namespace {

constexpr std::array<const char*, kClassCount> kReferences = {
    "/Game/Raptor.Raptor_C", "/Game/RAPTOR.Raptor_C", "/Game/Dodo.Dodo_C", "/Game/Rex.Rex_C", "X"};

constexpr std::array<const char*, kConfigFileCount> kTexts = {
    R"({"Max_Dino_Counts": {"Blueprint'/Game/Raptor.Raptor'": 3, "Blueprint'/Game/Dodo.Dodo'": 0,
        "Blueprint'/Game/Rex.Rex'": -1}, "DestroyDinosOverLevel": false})",
    R"({"Max_Dino_Counts": {"Blueprint'/Game/Raptor.Raptor'": 5}, "DestroyDinosOverLevel": true,
        "MaxDinoLevel": 100})",
    R"({"Max_Dino_Counts": {"Blueprint'/Game/Raptor.Raptor'": 1,)",
    R"({"Max_Dino_Counts": {"Blueprint'/Game/Raptor.Raptor'": "three", "Blueprint'/Game/Dodo.Dodo'": 1},
        "DestroyDinosOverLevel": true, "MaxDinoLevel": "high"})",
    R"({"Max_Dino_Counts": {"Blueprint'/Game/RAPTOR.Raptor'": 1, "Blueprint''": 2}})",
    "",
};

constexpr int64_t kNoLimit = -1;
constexpr int64_t kUnreadable = -2;

// The limit a configuration gives a key, looked up by its exact text.
int64_t LimitIn(ConfigFile file, std::string_view key) {
  switch (file) {
    case ConfigFile::Limits:
      if (key == "Blueprint'/Game/Raptor.Raptor'") return 3;
      if (key == "Blueprint'/Game/Dodo.Dodo'") return 0;
      return kNoLimit;
    case ConfigFile::LevelRule:
      return key == "Blueprint'/Game/Raptor.Raptor'" ? 5 : kNoLimit;
    case ConfigFile::Mistyped:
      if (key == "Blueprint'/Game/Raptor.Raptor'") return kUnreadable;
      return key == "Blueprint'/Game/Dodo.Dodo'" ? 1 : kNoLimit;
    case ConfigFile::CaseOfKeys:
      if (key == "Blueprint'/Game/RAPTOR.Raptor'") return 1;
      return key == "Blueprint''" ? 2 : kNoLimit;
    default:
      return kNoLimit;
  }
}

bool Readable(ConfigFile file) { return file != ConfigFile::CutOff && file != ConfigFile::Missing; }

char Folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool HasTag(const Creature& creature, Tag tag) {
  return std::find(creature.tags.begin(), creature.tags.end(), tag) != creature.tags.end();
}

}  // namespace

const char* ClassReference(int cls) { return kReferences.at(static_cast<size_t>(cls)); }

std::string ClassKey(int cls) {
  if (cls < 0) return {};
  const std::string_view reference = ClassReference(cls);
  const size_t kept = reference.size() < 2 ? 0 : reference.size() - 2;
  return "Blueprint'" + std::string(reference.substr(0, kept)) + "'";
}

const char* ConfigText(ConfigFile file) { return kTexts.at(static_cast<size_t>(file)); }

bool KeyLess::operator()(const std::string& a, const std::string& b) const {
  const size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    const auto x = static_cast<unsigned char>(Folded(a[i]));
    const auto y = static_cast<unsigned char>(Folded(b[i]));
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

Model::Model(double corpse_decay_seconds) : corpse_decay_(corpse_decay_seconds) {}

Creature* Model::Find(uint64_t id) {
  if (id == 0 || id > creatures_.size()) return nullptr;
  return &creatures_[id - 1];
}

void Model::Queue(double due, bool removal, uint64_t id) {
  timeline_.push_back(Timed{due, sequence_++, removal, id});
}

size_t Model::PendingRemovals() const {
  return static_cast<size_t>(
      std::count_if(timeline_.begin(), timeline_.end(), [](const Timed& t) { return t.removal; }));
}

int64_t Model::LimitOf(const std::string& key) const {
  return in_force_ ? LimitIn(*in_force_, key) : kNoLimit;
}

bool Model::ShouldCountDown(const Creature& creature) const {
  return HasTag(creature, Tag::Counted) && !HasTag(creature, Tag::Ignore) && creature.team <= 50000;
}

void Model::CountDown(const std::string& key) {
  uint32_t& count = table_[key];
  if (count > 0) --count;
}

bool Model::HasRoom(const std::string& key) {
  const int64_t limit = LimitOf(key);
  // An unreadable limit keeps the creature, and the room test never got to the table.
  if (limit == kUnreadable) return true;
  const uint32_t count = table_[key];
  return limit == kNoLimit || count < static_cast<uint32_t>(limit);
}

bool Model::TooHighLevel(int32_t level) const {
  if (!in_force_) return false;
  // The mistyped file switches the rule on with a level that cannot be read: nothing is too high.
  if (*in_force_ != ConfigFile::LevelRule) return false;
  return level >= 100;
}

void Model::Remove(uint64_t id) {
  Creature& creature = *Find(id);
  if (creature.state == State::Removed) return;
  if (plugin_ == Plugin::Loaded && ShouldCountDown(creature)) CountDown(ClassKey(creature.cls));
  creature.state = State::Removed;
}

void Model::Spawn(int asked_class, int made_class, std::optional<int32_t> level) {
  creatures_.push_back(Creature{made_class, level, 0, false, false, State::Alive, {}});
  const uint64_t id = creatures_.size();
  if (plugin_ != Plugin::Loaded || !gate_open_) return;
  const std::string key = ClassKey(asked_class);
  const bool accepted = HasRoom(key) && !(level && TooHighLevel(*level));
  if (accepted) {
    creatures_.back().tags.push_back(Tag::Counted);
    ++table_[key];
  } else {
    Queue(now_ + 5, true, id);
  }
}

void Model::Place(int cls, std::optional<int32_t> level, bool tamed, int32_t team) {
  creatures_.push_back(Creature{cls, level, team, tamed, false, State::Alive, {}});
}

bool Model::Kill(uint64_t id) {
  Creature* creature = Find(id);
  if (creature == nullptr || creature->state != State::Alive || creature->refuses_death) {
    return false;
  }
  creature->state = State::Dead;
  Queue(now_ + corpse_decay_, false, id);
  if (plugin_ == Plugin::Loaded && ShouldCountDown(*creature)) {
    CountDown(ClassKey(creature->cls));
    creature->tags.push_back(Tag::Ignore);
  }
  return true;
}

void Model::Destroy(uint64_t id) {
  if (Find(id) != nullptr) Remove(id);
}

void Model::Tame(uint64_t id, int32_t team) {
  Creature* creature = Find(id);
  if (creature == nullptr || creature->state != State::Alive) return;
  creature->tamed = true;
  creature->team = team;
}

void Model::RefuseDeath(uint64_t id) {
  if (Creature* creature = Find(id)) creature->refuses_death = true;
}

void Model::Cheat() {
  if (plugin_ == Plugin::Loaded) table_.clear();
  for (uint64_t id = 1; id <= creatures_.size(); ++id) {
    const Creature& creature = creatures_[id - 1];
    if (creature.state != State::Removed && !creature.tamed && creature.team <= 50000) Remove(id);
  }
}

void Model::Sweep() {
  table_.clear();
  for (uint64_t id = 1; id <= creatures_.size(); ++id) {
    Creature& creature = creatures_[id - 1];
    // Actors without a class are not found by a query for creatures.
    if (creature.state == State::Removed || creature.cls < 0) continue;
    if (creature.tamed || creature.team > 50000) continue;
    const std::string key = ClassKey(creature.cls);
    if (HasRoom(key)) {
      ++table_[key];
      creature.tags.push_back(Tag::Counted);
    } else {
      creature.tags.push_back(Tag::Ignore);
      Remove(id);
    }
  }
  gate_open_ = true;
  steady_ = true;
}

void Model::InitGame() {
  world_ready_ = true;
  if (plugin_ == Plugin::Loaded) Sweep();
}

std::string Model::Reload(ConfigFile file) {
  on_disk_ = file;
  if (plugin_ != Plugin::Loaded) return "Unknown command: kvar.reload";
  if (!Readable(file)) return "Kestrovar: Failed to reload config";
  if (in_force_ != file) steady_ = false;
  in_force_ = file;
  return "Kestrovar: Reloaded config";
}

void Model::Advance(double seconds) {
  const double until = now_ + seconds;
  for (;;) {
    const auto next =
        std::min_element(timeline_.begin(), timeline_.end(), [](const Timed& a, const Timed& b) {
          return a.due != b.due ? a.due < b.due : a.sequence < b.sequence;
        });
    if (next == timeline_.end() || next->due > until) break;
    const Timed item = *next;
    timeline_.erase(next);
    if (item.due > now_) now_ = item.due;
    Creature& creature = *Find(item.id);
    if (item.removal) {
      if (creature.state == State::Removed) continue;
      creature.tags.push_back(Tag::Ignore);
      Remove(item.id);
    } else if (creature.state == State::Dead) {
      Remove(item.id);
    }
  }
  now_ = until;
}

void Model::Unload() {
  if (plugin_ == Plugin::Released) return;
  // The host drops the plug-in's pending tasks before it lets the library go.
  timeline_.erase(
      std::remove_if(timeline_.begin(), timeline_.end(), [](const Timed& t) { return t.removal; }),
      timeline_.end());
  plugin_ = Plugin::Released;
  gate_open_ = false;
  table_.clear();
  in_force_.reset();
}

void Model::Load() {
  if (plugin_ != Plugin::Released) return;
  if (!Readable(on_disk_)) {
    plugin_ = Plugin::Inert;
    return;
  }
  plugin_ = Plugin::Loaded;
  in_force_ = on_disk_;
  steady_ = false;
  if (world_ready_) Sweep();
}

std::string Model::DumpReply() const {
  if (plugin_ != Plugin::Loaded) return "Unknown command: kvar.dumpdinos";
  std::string text;
  for (const auto& [key, count] : table_) text += key + ". Num: " + std::to_string(count) + "\n";
  return text;
}

}  // namespace world_model
