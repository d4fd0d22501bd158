#include <spdlog/logger.h>
#include <spdlog/sinks/sink.h>

#include <string>

#include "config/config.h"
#include "plugin/contained.h"
#include "plugin/plugin.h"
#include "plugin/registrations.h"
#include "spawn_control/startup_sweep.h"

game_signatures::InitGame* AShooterGameMode_InitGame_original = nullptr;

namespace {

void CreateLogger() {
  // A copy of the host's sinks as they are now: the logger shares them but is not in the logging
  // library's registry, so PluginLogger is its only owner.
  const auto& host_sinks = GetLogSinks();
  PluginLogger =
      std::make_shared<spdlog::logger>("Kestrovar", host_sinks.begin(), host_sinks.end());
  PluginLogger->set_pattern("%D %R [%n][%l] %v", spdlog::pattern_time_type::local);
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

}  // namespace

void Load() {
  CreateLogger();
  ReadConfig();
  for (const DetourRegistration& detour : LoadDetours()) SetDetour(detour);
  for (const CommandRegistration& command : Commands()) AddCommand(command);
  if (ArkApi::GetApiUtils().GetStatus() != ArkApi::ServerStatus::Ready) return;
  SweepAndOpenGate();
}

void Unload() {
  // The gate goes first and always, whether or not the world ever came up.
  RemoveDetour(SpawnGateDetour());
  for (const DetourRegistration& detour : LoadDetours()) RemoveDetour(detour);
  for (const CommandRegistration& command : Commands()) RemoveCommand(command);
}

void Hook_AShooterGameMode_InitGame(AShooterGameMode* game_mode, FString* map_name,
                                    FString* options, FString* error_message) {
  AShooterGameMode_InitGame_original(game_mode, map_name, options, error_message);
  RunContained("the game mode's initialisation", [] { SweepAndOpenGate(); });
}
