#include "tools/common/plugin_path.h"

#include <filesystem>

#include "devserver/control/server.h"

std::string DefaultPluginPath() {
#if defined(_WIN32)
  const char* file = "Kestrovar.dll";
#else
  const char* file = "Kestrovar.so";
#endif
  return (std::filesystem::path(devserver::ProgramDirectory()) / file).string();
}
