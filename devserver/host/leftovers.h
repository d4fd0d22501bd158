#pragma once

#include "devserver/control/server.h"
#include "devserver/server_state.h"

namespace devserver {

// Engine memory blocks that the world and the host own: tag arrays and the registries' name copies.
// Every other live block belongs to whoever asked for it.
MemoryReport ReportMemory(const Server* server);

// After a plug-in's release: everything it left behind (detours, commands, timer tasks, engine
// memory, a library the loader kept) is recorded as a fault and made harmless.
void CheckWhatThePluginLeft(Server& server);

}  // namespace devserver
