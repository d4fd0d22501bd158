#pragma once

// The host's operations, imported from the host library. Every operation the plug-in uses is
// declared here and nowhere else. Interfaces list their operations in the host's declared order,
// which is also their order in the host's tables.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/api_export.h"
#include "host/engine_types.h"

namespace spdlog::sinks {
class sink;
}

namespace ArkApi {

class IHooks {
 public:
  // Takes the detour out of the function's chain; false when it was not set.
  virtual bool DisableHook(const std::string& func_name, void* detour) = 0;
  // Routes calls of the named game function to the detour and fills *original with a trampoline
  // that runs the function as it was before (the game's own, or the detour set before this one).
  virtual bool SetHook(const std::string& func_name, void* detour, void** original) = 0;

 protected:
  ~IHooks() = default;
};

using ConsoleCommandCallback = std::function<void(APlayerController*, FString*, bool)>;
using RconCommandCallback = std::function<void(RCONClientConnection*, RCONPacket*, UWorld*)>;

// The registries keep their own copies of names and callbacks.
class ICommands {
 public:
  virtual void AddConsoleCommand(const FString& command,
                                 const ConsoleCommandCallback& callback) = 0;
  virtual void AddRconCommand(const FString& command, const RconCommandCallback& callback) = 0;
  virtual bool RemoveConsoleCommand(const FString& command) = 0;
  virtual bool RemoveRconCommand(const FString& command) = 0;

 protected:
  ~ICommands() = default;
};

enum class ServerStatus { Loading = 0, Ready = 1 };

class IApiUtils {
 public:
  virtual UWorld* GetWorld() const = 0;
  virtual ServerStatus GetStatus() const = 0;

 protected:
  ~IApiUtils() = default;
};

KESTROVAR_HOST_API IHooks& GetHooks();
KESTROVAR_HOST_API ICommands& GetCommands();
KESTROVAR_HOST_API IApiUtils& GetApiUtils();

namespace Tools {
// The server's directory, the root of every plug-in path.
KESTROVAR_HOST_API std::string GetCurrentDir();
}  // namespace Tools

}  // namespace ArkApi

namespace API {

// Runs callbacks once, later, on the game thread. Delays count seconds of game time.
class Timer {
 public:
  KESTROVAR_HOST_API static Timer& Get();
  KESTROVAR_HOST_API void DelayExecuteInternal(const std::function<void()>& callback,
                                               int delay_seconds);

 private:
  Timer() = default;
};

}  // namespace API

// The host's log sinks, which a plug-in's logger shares.
KESTROVAR_HOST_API std::vector<std::shared_ptr<spdlog::sinks::sink>>& GetLogSinks();

// Address of a game function, by its host name ("AActor.Destroy"), or of a field of an object
// ("AActor.Tags"). Never null: the host knows every name it hands out.
KESTROVAR_HOST_API void* GetAddress(std::string_view name);
KESTROVAR_HOST_API void* GetAddress(const void* object, std::string_view field);
