#pragma once

// The one running server: its world, registries, clock, sinks and plug-in library. Host operations
// and game functions reach it through RunningServer(), which also insists on the game thread.

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "devserver/control/server.h"
#include "devserver/game/class_registry.h"
#include "devserver/game/creature_ledger.h"
#include "devserver/game/name_table.h"
#include "devserver/game/object_table.h"
#include "devserver/game/spawn_zones.h"
#include "devserver/game/tag_watch.h"
#include "devserver/game/world.h"
#include "devserver/host/command_registry.h"
#include "devserver/host/hook_table.h"
#include "devserver/host/log_sinks.h"
#include "devserver/host/plugin_library.h"
#include "devserver/host/scheduler.h"

namespace devserver {

class ApiUtils final : public ArkApi::IApiUtils {
 public:
  UWorld* GetWorld() const override;
  ArkApi::ServerStatus GetStatus() const override;
};

struct Server {
  explicit Server(const ServerOptions& server_options);
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  ServerOptions options;
  std::string current_dir;  // the server directory without trailing separators
  std::thread::id game_thread = std::this_thread::get_id();
  int status = 0;
  double now = 0;
  int32_t next_rcon_id = 1;
  // The actor query also yields a null entry and an actor of another class (SetOddActorQuery).
  bool odd_actor_query = false;
  // Where RCON replies go while RconRequest runs; null: printed to the output.
  std::vector<RconReply>* rcon_capture = nullptr;
  // Calls of the host's operations (host/api.h) so far.
  uint64_t host_operations = 0;
  // Host operations that throw, as a failing host's would (FailHostOperations).
  std::set<std::string, std::less<>> failing_operations;

  NameTable names;
  ObjectTable objects;
  ClassRegistry classes{objects};
  GameWorld world{objects, classes};
  TagWatch tag_watch;
  CreatureLedger ledger;
  SpawnZones zones;
  HookTable hooks;
  CommandRegistry commands;
  ApiUtils api_utils;
  Scheduler scheduler;
  HostSinks sinks;
  PluginLibrary plugin;
};

Server* ActiveServer();
// The running server, for a host operation or game function named `operation`: with no server
// running, or off the game thread, that is a programming error.
Server& RunningServer(std::string_view operation);

// Throws std::runtime_error when a test asked the running server's `operation` to fail.
void FailIfAsked(std::string_view operation);

void InstallServer(std::unique_ptr<Server> server);
std::unique_ptr<Server> UninstallServer();

// The capture sink of the last server started: log entries stay readable after it stops.
std::shared_ptr<CaptureSink>& LastCapture();

}  // namespace devserver
