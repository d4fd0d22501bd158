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

// The steps of Load, in order: the entry point names a failure after the step it stopped.
enum class LoadStep { CreatingLogger, ReadingConfig, Registering };

// Run by the library entry point at attach and detach. Load keeps `step` at the step it is in and
// passes any error on; an error while registering comes out after everything registered so far has
// been taken back.
void Load(LoadStep& step);
void Unload();

void Hook_AShooterGameMode_InitGame(AShooterGameMode* game_mode, FString* map_name,
                                    FString* options, FString* error_message);
extern game_signatures::InitGame* AShooterGameMode_InitGame_original;
