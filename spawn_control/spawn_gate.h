#pragma once

#include "host/game_functions.h"

APrimalDinoCharacter* Hook_ANPCZoneManager_SpawnNPC(ANPCZoneManager* zone,
                                                    TSubclassOf<APrimalDinoCharacter> dino_class,
                                                    FVector location, bool a4, int32_t a5, float a6,
                                                    bool a7, float a8, float a9, float a10,
                                                    float a11,
                                                    TSubclassOf<UPrimalColorSet> colour_set);
extern game_signatures::SpawnNPC* ANPCZoneManager_SpawnNPC_original;
