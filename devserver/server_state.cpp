#include "devserver/server_state.h"

#include <stdexcept>
#include <string>

#include "devserver/fatal.h"

namespace devserver {

namespace {

std::unique_ptr<Server>& Slot() {
  static std::unique_ptr<Server>* server = new std::unique_ptr<Server>;
  return *server;
}

std::string WithoutTrailingSeparators(std::string dir) {
  while (dir.size() > 1 && (dir.back() == '/' || dir.back() == '\\')) dir.pop_back();
  return dir;
}

}  // namespace

UWorld* ApiUtils::GetWorld() const {
  return AsEngine<UWorld>(RunningServer("IApiUtils::GetWorld").world.world_object);
}

ArkApi::ServerStatus ApiUtils::GetStatus() const {
  FailIfAsked("IApiUtils::GetStatus");
  return static_cast<ArkApi::ServerStatus>(RunningServer("IApiUtils::GetStatus").status);
}

Server::Server(const ServerOptions& server_options)
    : options(server_options),
      current_dir(WithoutTrailingSeparators(server_options.server_dir)),
      status(server_options.world_ready ? 1 : 0),
      sinks(current_dir, server_options.log_to_stdout) {}

Server* ActiveServer() { return Slot().get(); }

Server& RunningServer(std::string_view operation) {
  Server* server = Slot().get();
  if (server == nullptr)
    ProgrammingError(std::string(operation) + " called with no server running");
  if (std::this_thread::get_id() != server->game_thread) {
    ProgrammingError(std::string(operation) + " called off the game thread");
  }
  return *server;
}

void FailIfAsked(std::string_view operation) {
  const Server* server = Slot().get();
  if (server != nullptr && server->failing_operations.count(operation) != 0) {
    throw std::runtime_error(std::string(operation) + " failed in the host");
  }
}

void InstallServer(std::unique_ptr<Server> server) { Slot() = std::move(server); }

std::unique_ptr<Server> UninstallServer() { return std::move(Slot()); }

std::shared_ptr<CaptureSink>& LastCapture() {
  static auto* capture = new std::shared_ptr<CaptureSink>;
  return *capture;
}

}  // namespace devserver
