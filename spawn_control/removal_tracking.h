#pragma once

// Keeps the count table in step as counted creatures die or leave the world.

#include "host/game_functions.h"

bool Hook_APrimalDinoCharacter_Die(APrimalDinoCharacter* dino, float killing_damage,
                                   FDamageEvent* damage_event, AController* killer,
                                   AActor* damage_causer);
void Hook_APrimalDinoCharacter_Destroyed(APrimalDinoCharacter* dino);
void Hook_UShooterCheatManager_DestroyWildDinos(UShooterCheatManager* cheat_manager);

extern game_signatures::Die* APrimalDinoCharacter_Die_original;
extern game_signatures::Destroyed* APrimalDinoCharacter_Destroyed_original;
extern game_signatures::DestroyWildDinos* UShooterCheatManager_DestroyWildDinos_original;
