// The host's operations of host/api.h, served by the running server.

#include <string>

#include "devserver/fatal.h"
#include "devserver/host/plugin_calls.h"
#include "devserver/journal.h"
#include "devserver/server_state.h"
#include "host/api.h"

namespace devserver {
namespace {

// A host operation: counted, since a library whose load never asks the host for anything is no
// plug-in (see LoadPlugin).
Server& HostOperation(std::string_view operation) {
  Server& server = RunningServer(operation);
  ++server.host_operations;
  return server;
}

}  // namespace
}  // namespace devserver

namespace ArkApi {

IHooks& GetHooks() { return devserver::HostOperation("ArkApi::GetHooks").hooks; }

ICommands& GetCommands() { return devserver::HostOperation("ArkApi::GetCommands").commands; }

IApiUtils& GetApiUtils() { return devserver::HostOperation("ArkApi::GetApiUtils").api_utils; }

std::string Tools::GetCurrentDir() {
  return devserver::HostOperation("ArkApi::Tools::GetCurrentDir").current_dir;
}

}  // namespace ArkApi

namespace API {

Timer& Timer::Get() {
  static Timer timer;
  return timer;
}

void Timer::DelayExecuteInternal(const std::function<void()>& callback, int delay_seconds) {
  devserver::Server& server = devserver::HostOperation("API::Timer::DelayExecuteInternal");
  if (!callback) {
    devserver::RecordFault("API::Timer::DelayExecuteInternal: task without a callable");
    return;
  }
  const double delay = delay_seconds > 0 ? delay_seconds : 0;
  server.scheduler.QueueTask(callback, server.now + delay, devserver::InPluginCode());
  devserver::RecordEventF("timer queued {}", delay_seconds);
}

}  // namespace API

std::vector<std::shared_ptr<spdlog::sinks::sink>>& GetLogSinks() {
  return devserver::HostOperation("GetLogSinks").sinks.list;
}
