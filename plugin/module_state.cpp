// The plug-in's module-wide state, in one place because its order is part of the design: the count
// table is built before the configuration and both before the load runs; at release the logger goes
// first, then the configuration, then the count table (whose keys go back to the engine allocator).

#include <spdlog/logger.h>

#include <memory>

#include "config/config.h"
#include "plugin/plugin.h"
#include "spawn_control/dino_counts.h"

// Written only by the functions of spawn_control/dino_counts.cpp; everything else reads it as
// DinoCounts.
DinoCountTable WritableDinoCounts;
const DinoCountTable& DinoCounts = WritableDinoCounts;
nlohmann::json config;
std::shared_ptr<spdlog::logger> PluginLogger;

#if defined(KESTROVAR_POSIX_ENTRY_POINT)
#include "plugin/entry_point.h"

namespace {
// Without DllMain, the loader's construction and destruction of this object stand for attach and
// detach. Defined after the state above, it is built after it and destroyed before it.
struct PosixEntryPoint {
  PosixEntryPoint() { OnLibraryAttach(); }
  ~PosixEntryPoint() { OnLibraryDetach(); }
  PosixEntryPoint(const PosixEntryPoint&) = delete;
  PosixEntryPoint& operator=(const PosixEntryPoint&) = delete;
};
const PosixEntryPoint entry_point;
}  // namespace
#endif
