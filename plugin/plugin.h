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
enum class LoadStep { CreatingLogger, ReadingConfig, Registering, AskingStatus };

// Where Load is: its step, and after a failure once registering began, whether everything
// registered so far was taken back.
struct LoadProgress {
  LoadStep step = LoadStep::CreatingLogger;
  bool all_taken_back = true;
};

// Run by the library entry point at attach and detach. Load keeps `progress` at the step it is in
// and passes any error on; an error while registering or asking the host for the world's status
// comes out after everything registered so far has been taken back (or tried to be: each failure
// to take back is logged, and `all_taken_back` says so).
void Load(LoadProgress& progress);
void Unload();

void Hook_AShooterGameMode_InitGame(AShooterGameMode* game_mode, FString* map_name,
                                    FString* options, FString* error_message);
extern game_signatures::InitGame* AShooterGameMode_InitGame_original;
