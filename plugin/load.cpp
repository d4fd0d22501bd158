#include <spdlog/logger.h>
#include <spdlog/sinks/sink.h>

#include <cstddef>
#include <exception>
#include <string>

#include "config/config.h"
#include "plugin/contained.h"
#include "plugin/plugin.h"
#include "plugin/registrations.h"
#include "spawn_control/startup_sweep.h"

game_signatures::InitGame* AShooterGameMode_InitGame_original = nullptr;

namespace {

constexpr const char* kLogPattern = "%D %R [%n][%l] %v";

void CreateLogger() {
  // A copy of the host's sinks as they are now: the logger shares them but is not in the logging
  // library's registry, so PluginLogger is its only owner.
  const auto& host_sinks = GetLogSinks();
  PluginLogger =
      std::make_shared<spdlog::logger>("Kestrovar", host_sinks.begin(), host_sinks.end());
  PluginLogger->set_pattern(kLogPattern, spdlog::pattern_time_type::local);
  PluginLogger->flush_on(spdlog::level::info);
}

void SetDetour(const DetourRegistration& detour) {
  ArkApi::GetHooks().SetHook(std::string(detour.name), detour.detour, detour.slot);
}

void RemoveDetour(const DetourRegistration& detour) {
  ArkApi::GetHooks().DisableHook(std::string(detour.name), detour.detour);
}

void AddCommand(const CommandRegistration& command) {
  const FString name(command.name);
  if (command.registry == CommandRegistry::Console) {
    const ArkApi::ConsoleCommandCallback callback(command.console_handler);
    ArkApi::GetCommands().AddConsoleCommand(name, callback);
  } else {
    const ArkApi::RconCommandCallback callback(command.rcon_handler);
    ArkApi::GetCommands().AddRconCommand(name, callback);
  }
}

void RemoveCommand(const CommandRegistration& command) {
  const FString name(command.name);
  if (command.registry == CommandRegistry::Console) {
    ArkApi::GetCommands().RemoveConsoleCommand(name);
  } else {
    ArkApi::GetCommands().RemoveRconCommand(name);
  }
}

// The gate starts only from a table rebuilt from the world.
void SweepAndOpenGate() {
  RunContained("the start-up sweep", [] { InitDinoCounts(); });
  SetDetour(SpawnGateDetour());
}

// How much of each registration table has been handed to the host, read from the start of the
// table: Unload and a load that fails part-way take back the same entries in the same order.
struct Registered {
  size_t detours = 0;
  size_t commands = 0;
  bool gate = false;
};

// Runs one piece of taking back; an error there is reported and ends that piece only. Whether the
// piece was done.
template <typename Removal>
bool TakeBackOne(Removal&& removal, void (*report)(const char* what) noexcept) noexcept {
  try {
    removal();
    return true;
  } catch (const std::exception& error) {
    report(error.what());
  } catch (...) {
    report("unknown error");
  }
  return false;
}

// Each removal on its own: one that fails must not leave the others in the host, which would then
// call into a released library. Whether every removal was done.
bool TakeBack(const Registered& registered, void (*report)(const char* what) noexcept) {
  bool all = true;
  if (registered.gate) all = TakeBackOne([] { RemoveDetour(SpawnGateDetour()); }, report) && all;
  for (size_t i = 0; i < registered.detours; ++i) {
    all = TakeBackOne([i] { RemoveDetour(LoadDetours()[i]); }, report) && all;
  }
  for (size_t i = 0; i < registered.commands; ++i) {
    all = TakeBackOne([i] { RemoveCommand(Commands()[i]); }, report) && all;
  }
  return all;
}

// The logger's pattern put a formatter made by this library's code in each of the host's sinks,
// which the host's own loggers share: a host that kept it would call released code at its next log
// line. Each sink makes itself a formatter in the host's own code from the same pattern (local
// time, as ours), so every line reads as before.
void GiveSinksFormattersOfTheirOwn(void (*report)(const char* what) noexcept) {
  if (!PluginLogger) return;
  for (const auto& sink : PluginLogger->sinks()) {
    TakeBackOne([&sink] { sink->set_pattern(kLogPattern); }, report);
  }
}

void ReportFailedTakeBack(const char* what) noexcept {
  try {
    if (PluginLogger) PluginLogger->critical("Failed to take back a registration! \n {}", what);
  } catch (...) {
    // Nothing is left to report through.
  }
}

void ReportFailedRemoval(const char* what) noexcept {
  try {
    if (PluginLogger) PluginLogger->critical("Failed to unload! \n {}", what);
  } catch (...) {
    // Nothing is left to report through.
  }
}

}  // namespace

void Load(LoadProgress& progress) {
  progress = LoadProgress{};
  CreateLogger();
  progress.step = LoadStep::ReadingConfig;
  ReadConfig();
  progress.step = LoadStep::Registering;
  Registered registered;
  try {
    // Each entry is counted before it is handed over: one whose registration failed inside the
    // host may have been made all the same, and removing one that was not is harmless.
    for (const DetourRegistration& detour : LoadDetours()) {
      ++registered.detours;
      SetDetour(detour);
    }
    for (const CommandRegistration& command : Commands()) {
      ++registered.commands;
      AddCommand(command);
    }
    progress.step = LoadStep::AskingStatus;
    if (ArkApi::GetApiUtils().GetStatus() != ArkApi::ServerStatus::Ready) return;
    RunContained("the start-up sweep", [] { InitDinoCounts(); });
    progress.step = LoadStep::Registering;
    registered.gate = true;
    SetDetour(SpawnGateDetour());
  } catch (...) {
    // A plug-in half registered would count deaths but never limit, or answer one command and not
    // the other: the load is undone whole.
    progress.all_taken_back = TakeBack(registered, ReportFailedTakeBack);
    throw;
  }
}

void Unload() {
  // The gate goes first and always, whether or not the world ever came up.
  TakeBack(Registered{LoadDetours().size(), Commands().size(), true}, ReportFailedRemoval);
  GiveSinksFormattersOfTheirOwn(ReportFailedRemoval);
}

void Hook_AShooterGameMode_InitGame(AShooterGameMode* game_mode, FString* map_name,
                                    FString* options, FString* error_message) {
  AShooterGameMode_InitGame_original(game_mode, map_name, options, error_message);
  RunContained("the game mode's initialisation", [] { SweepAndOpenGate(); });
}
