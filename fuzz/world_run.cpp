#include "fuzz/world_run.h"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <fstream>
#include <optional>
#include <system_error>
#include <vector>

#include "devserver/control/server.h"

namespace world_ops {

namespace {

using world_model::ConfigFile;
using world_model::State;
using world_model::Tag;

constexpr double kCorpseDecay = 60;

// One reply is expected for each RCON request; anything else is shown whole.
std::string SoleReply(std::string_view request, int32_t id) {
  const std::vector<devserver::RconReply> replies = devserver::RconRequest(request, id);
  if (replies.size() == 1) return replies.front().text;
  std::string all = fmt::format("{} replies:", replies.size());
  for (const auto& reply : replies) all += " [" + reply.text + "]";
  return all;
}

const char* TagText(Tag tag) {
  return tag == Tag::Counted ? "SpawnedFromNPCZone" : "IgnoreControlDino";
}

devserver::CreatureState StandInState(State state) {
  switch (state) {
    case State::Alive:
      return devserver::CreatureState::Alive;
    case State::Dead:
      return devserver::CreatureState::Dead;
    default:
      return devserver::CreatureState::Removed;
  }
}

std::optional<int32_t> LevelOf(uint8_t b) {
  switch (b % 4) {
    case 0:
      return 1;
    case 1:
      return 99;
    case 2:
      return 100;
    default:
      return std::nullopt;
  }
}

}  // namespace

std::string PluginBesideProgram(const char* file_name) {
  return (std::filesystem::path(devserver::ProgramDirectory()) / file_name).string();
}

WorldRun::WorldRun(const std::filesystem::path& server_dir, const std::string& plugin_path)
    : plugin_folder_(server_dir / "ArkApi" / "Plugins" / "Kestrovar"),
      plugin_path_(plugin_path),
      model_(kCorpseDecay) {
  std::filesystem::create_directories(plugin_folder_);
  devserver::ServerOptions options;
  options.server_dir = server_dir.string();
  options.log_to_stdout = false;
  options.record_events = false;
  options.corpse_decay_seconds = kCorpseDecay;
  devserver::StartServer(options);
  devserver::SetOutput([](std::string_view) {});
  WriteConfig(ConfigFile::Limits);
  Load();
  devserver::InitGame();
  model_.InitGame();
}

WorldRun::~WorldRun() { devserver::StopServer(); }

void WorldRun::WriteConfig(ConfigFile file) {
  model_.WriteConfig(file);
  const auto path = plugin_folder_ / "config.json";
  if (file == ConfigFile::Missing) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    return;
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << world_model::ConfigText(file);
}

std::string WorldRun::Load() {
  const std::string error = devserver::LoadPlugin(plugin_path_);
  model_.Load();
  return error;
}

std::string WorldRun::Restart() {
  // A load that failed left the library in without its commands: only a new load helps there.
  if (model_.PluginState() == world_model::Plugin::Inert) devserver::UnloadPlugin();
  devserver::NewMap();
  // The host's capture of log entries would grow with every input of a long run.
  devserver::ClearLogEntries();
  steps_ = 0;
  model_ = world_model::Model(kCorpseDecay);
  WriteConfig(ConfigFile::Limits);
  if (!devserver::PluginLoaded()) {
    const std::string error = Load();
    if (!error.empty()) return "the load failed: " + error;
  } else {
    // Loaded all along: the reload puts the limits in force, as a load would have.
    model_.Load();
    const std::string reply = SoleReply("kvar.reload", 2);
    const std::string expected = model_.Reload(ConfigFile::Limits);
    if (reply != expected) return fmt::format("reload replied '{}', not '{}'", reply, expected);
  }
  devserver::InitGame();
  model_.InitGame();
  return {};
}

uint64_t WorldRun::PickCreature(uint8_t a, uint8_t b) const {
  const size_t count = model_.Creatures().size();
  if (count == 0) return 0;
  return 1 + (static_cast<uint64_t>(a) | static_cast<uint64_t>(b) << 8) % count;
}

std::string WorldRun::Step(uint8_t op, uint8_t a, uint8_t b) {
  ++steps_;
  switch (op % 14) {
    case 0:
    case 1: {
      // Now and then the game makes another class than the zone asked for.
      const int asked = a % world_model::kClassCount;
      const int made = (b & 0x80) != 0 ? (b >> 2) % world_model::kClassCount : asked;
      devserver::SpawnRequest request;
      request.reference = world_model::ClassReference(asked);
      if (made != asked) request.made_reference = world_model::ClassReference(made);
      request.level = LevelOf(b);
      devserver::Spawn(request);
      model_.Spawn(asked, made, request.level);
      return {};
    }
    case 2: {
      const int cls = a % (world_model::kClassCount + 1) - 1;
      const bool tamed = (b & 1) != 0;
      constexpr int32_t kTeams[] = {0, 50000, 50001, devserver::kTamedTeam};
      const int32_t team = tamed && (b & 2) == 0 ? devserver::kTamedTeam : kTeams[(b >> 2) % 4];
      devserver::PlaceRequest request;
      request.reference = world_model::ClassReference(cls < 0 ? 0 : cls);
      request.null_class = cls < 0;
      request.tamed = tamed;
      request.team = team;
      devserver::Place(request);
      model_.Place(cls, 1, tamed, team);
      return {};
    }
    case 3: {
      const uint64_t id = PickCreature(a, b);
      if (id == 0) return {};
      const bool died = devserver::Kill(id);
      if (died != model_.Kill(id)) return fmt::format("Kill #{} returned {}", id, died);
      return {};
    }
    case 4: {
      const uint64_t id = PickCreature(a, b);
      if (id == 0) return {};
      devserver::Destroy(id);
      model_.Destroy(id);
      return {};
    }
    case 5: {
      const uint64_t id = PickCreature(a, 0);
      if (id == 0) return {};
      constexpr int32_t kTeams[] = {devserver::kTamedTeam, 0, 50000};
      devserver::Tame(id, kTeams[b % 3]);
      model_.Tame(id, kTeams[b % 3]);
      return {};
    }
    case 6: {
      const uint64_t id = PickCreature(a, b);
      if (id == 0) return {};
      devserver::RefuseDeath(id);
      model_.RefuseDeath(id);
      return {};
    }
    case 7:
      devserver::CheatDestroyWildDinos();
      model_.Cheat();
      return {};
    case 8:
      devserver::InitGame();
      model_.InitGame();
      return {};
    case 9: {
      const auto file = static_cast<ConfigFile>(a % world_model::kConfigFileCount);
      WriteConfig(file);
      const std::string reply = SoleReply("kvar.reload", 2);
      const std::string expected = model_.Reload(file);
      if (reply != expected) return fmt::format("reload replied '{}', not '{}'", reply, expected);
      return {};
    }
    case 10:
      devserver::Advance(a % 70);
      model_.Advance(a % 70);
      return {};
    case 11:
      devserver::UnloadPlugin();
      model_.Unload();
      return {};
    case 12:
      if (devserver::PluginLoaded()) return {};
      return Load();
    default:
      // A dump: Check reads the table through it.
      return {};
  }
}

std::string WorldRun::Check(bool with_creatures) {
  const std::string dump = SoleReply("kvar.dumpdinos", 1);
  if (dump != model_.DumpReply()) {
    return fmt::format("the dump reads\n{}\nthe model says\n{}", dump, model_.DumpReply());
  }
  const auto faults = devserver::Faults();
  if (!faults.empty())
    return "the stand-in recorded: " + fmt::format("{}", fmt::join(faults, "; "));
  if (!with_creatures) return {};
  const auto& expected = model_.Creatures();
  const auto listed = devserver::ListCreatures();
  if (listed.size() != expected.size()) {
    return fmt::format("{} creatures in the world, {} in the model", listed.size(),
                       expected.size());
  }
  for (size_t i = 0; i < listed.size(); ++i) {
    const auto& is = listed[i];
    const auto& should = expected[i];
    std::vector<std::string> tags;
    for (Tag tag : should.tags) tags.emplace_back(TagText(tag));
    if (is.state != StandInState(should.state) || is.tamed != should.tamed ||
        is.team != should.team || is.tags != tags) {
      return fmt::format(
          "creature #{}: state {} tamed {} team {} tags {}; the model: state {} "
          "tamed {} team {} tags {}",
          is.id, static_cast<int>(is.state), is.tamed, is.team, fmt::join(is.tags, ","),
          static_cast<int>(should.state), should.tamed, should.team, fmt::join(tags, ","));
    }
  }
  return {};
}

}  // namespace world_ops
