#pragma once

// "kvar.reload": reads the configuration again and tells the caller whether that worked.

#include "host/engine_types.h"

void ReloadConfigConsoleCmd(APlayerController* player, FString* command, bool);
void ReloadConfigRconCmd(RCONClientConnection* connection, RCONPacket* packet, UWorld* world);
