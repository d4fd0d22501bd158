// Control surface: the server's lifetime, the plug-in library, the game mode and status.

#include <cmath>
#include <optional>
#include <stdexcept>
#include <utility>

#include "devserver/control/server.h"
#include "devserver/game/engine_allocator.h"
#include "devserver/game/game_own_functions.h"
#include "devserver/host/leftovers.h"
#include "devserver/host/plugin_calls.h"
#include "devserver/journal.h"
#include "devserver/server_state.h"

namespace devserver {

namespace {

void SyncWatchedTags() {
  if (Server* server = ActiveServer()) server->tag_watch.SyncWatched(server->names);
}

}  // namespace

void StartServer(const ServerOptions& options) {
  StopServer();
  if (options.server_dir.empty()) throw std::invalid_argument("the server directory is empty");
  if (!std::isfinite(options.corpse_decay_seconds) || options.corpse_decay_seconds < 0) {
    throw std::invalid_argument("the corpse decay time must be a number of seconds, 0 or more");
  }
  ResetJournal(options.record_events);
  engine_allocator::ResetFaultCounts();
  engine_allocator::FailAllocationAfter(0);
  auto server = std::make_unique<Server>(options);
  LastCapture() = server->sinks.capture;
  InstallServer(std::move(server));
  TheJournal().before_event = &SyncWatchedTags;
}

void StopServer() {
  if (ActiveServer() == nullptr) return;
  UnloadPlugin();
  Server& server = RunningServer("StopServer");
  for (const auto& sink : server.sinks.own) sink->flush();
  // While the server is torn down nothing may reach it any more.
  UninstallServer().reset();
}

void SetOutput(std::function<void(std::string_view line)> output) {
  TheJournal().output = std::move(output);
}

void SetEventObserver(std::function<void(std::string_view event)> observer) {
  TheJournal().event_observer = std::move(observer);
}

std::string LoadPlugin(const std::string& path) {
  Server& server = RunningServer("LoadPlugin");
  if (server.plugin.IsOpen()) return "a plug-in is already loaded: " + server.plugin.Path();
  std::string error;
  server.ledger.BeginStartup(server);
  const uint64_t host_operations = server.host_operations;
  CallIntoPlugin<void>("the plug-in's load", [&] { error = server.plugin.Open(path); });
  // A plug-in's entry point asks the host for its log sinks, hooks and commands as it loads; a
  // library that asked for nothing (the host library itself, say) has no such entry point and
  // would sit there doing nothing. It registered nothing, and may stay mapped (the host library
  // does), so nothing is checked after it.
  if (error.empty() && server.host_operations == host_operations) {
    CallIntoPlugin<void>("the library's release", [&] { server.plugin.Close(); });
    server.ledger.EndStartup(server, false);
    return path +
           " is not a plug-in: its load never called the host, so it has no plug-in entry "
           "point; give the Kestrovar library";
  }
  const HookSlot& gate = server.hooks.Slot(Detourable::SpawnNPC);
  server.ledger.EndStartup(server, gate.current != gate.own);
  if (!error.empty()) {
    // A library that failed while loading may still have registered something.
    CheckWhatThePluginLeft(server);
    return "cannot load the plug-in " + path + ": " + error;
  }
  RecordEvent("plugin loaded");
  server.tag_watch.SyncAll(server.world, server.names);
  return {};
}

void UnloadPlugin() {
  Server* active = ActiveServer();
  if (active == nullptr || !active->plugin.IsOpen()) return;
  Server& server = RunningServer("UnloadPlugin");
  // The tasks' destructors are plug-in code: they must run while it is still loaded.
  const std::size_t dropped = server.scheduler.DropPluginTasks();
  if (dropped > 0) RecordEventF("timer dropped {}", dropped);
  CallIntoPlugin<void>("the plug-in's release", [&] { server.plugin.Close(); });
  RecordEvent("plugin unloaded");
  server.ledger.PluginReleased();
  CheckWhatThePluginLeft(server);
  server.tag_watch.SyncAll(server.world, server.names);
}

void CallAsPlugin(std::string_view where, const std::function<void()>& work) {
  CallIntoPlugin<void>(where, work);
}

bool PluginLoaded() {
  const Server* server = ActiveServer();
  return server != nullptr && server->plugin.IsOpen();
}

void InitGame() {
  Server& server = RunningServer("InitGame");
  std::optional<engine_allocator::GameAllocationScope> own_memory(std::in_place);
  FString map_name("DevWorld");
  FString options("?listen");
  FString error_message;
  const HookSlot& init = server.hooks.Slot(Detourable::InitGame);
  const bool swept = init.current != init.own;
  server.ledger.BeginStartup(server);
  own_memory.reset();
  entry::InitGame(AsEngine<AShooterGameMode>(server.world.game_mode), &map_name, &options,
                  &error_message);
  server.ledger.EndStartup(server, swept);
  if (server.status != 1) {
    server.status = 1;
    RecordEvent("status 1");
  }
  server.tag_watch.SyncAll(server.world, server.names);
}

int ServerStatusValue() { return RunningServer("ServerStatusValue").status; }

}  // namespace devserver
