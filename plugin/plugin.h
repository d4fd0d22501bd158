#pragma once

// The plug-in's spine: start-up, shut-down, its logger and the game mode's initialisation.

#include <memory>

#include "host/game_functions.h"

namespace spdlog {
class logger;
}

// The plug-in's one logger, over a copy of the host's sinks. Created by Load, released with the
// library.
extern std::shared_ptr<spdlog::logger> PluginLogger;

// Run by the library entry point at attach and detach.
void Load();
void Unload();

void Hook_AShooterGameMode_InitGame(AShooterGameMode* game_mode, FString* map_name,
                                    FString* options, FString* error_message);
extern game_signatures::InitGame* AShooterGameMode_InitGame_original;
