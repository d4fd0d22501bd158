#include "plugin/entry_point.h"

#include <spdlog/spdlog.h>

#include <exception>

#include "plugin/plugin.h"

void OnLibraryAttach() {
  // Only the configuration read can fail here; the plug-in then stays loaded with nothing
  // registered and the server runs on.
  try {
    Load();
  } catch (const std::exception& error) {
    if (PluginLogger) PluginLogger->critical("Failed to load config! \n {}", error.what());
  } catch (...) {
    if (PluginLogger) PluginLogger->critical("Failed to load config! \n {}", "unknown error");
  }
}

void OnLibraryDetach() {
  try {
    Unload();
  } catch (const std::exception& error) {
    if (PluginLogger) PluginLogger->critical("Failed to unload! \n {}", error.what());
  } catch (...) {
    if (PluginLogger) PluginLogger->critical("Failed to unload! \n {}", "unknown error");
  }
}
