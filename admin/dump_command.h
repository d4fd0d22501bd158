#pragma once

// "kvar.dumpdinos": the census of the count table, to the log (console) or as one RCON reply.

#include "host/engine_types.h"

void DumpDinosConsoleCmd(APlayerController* player, FString* command, bool);
void DumpDinosRconCmd(RCONClientConnection* connection, RCONPacket* packet, UWorld* world);
