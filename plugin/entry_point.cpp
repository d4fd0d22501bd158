#include "plugin/entry_point.h"

#include <spdlog/spdlog.h>

#include <exception>

#include "plugin/plugin.h"

namespace {

void LogLoadFailure(LoadStep step, const char* what) noexcept {
  try {
    if (!PluginLogger) return;
    switch (step) {
      case LoadStep::CreatingLogger:
        PluginLogger->critical("Failed to set up the log! \n {}", what);
        break;
      case LoadStep::ReadingConfig:
        PluginLogger->critical("Failed to load config! \n {}", what);
        break;
      case LoadStep::Registering:
        PluginLogger->critical(
            "Failed to register with the host! What was registered is taken back. \n {}", what);
        break;
    }
  } catch (...) {
    // Nothing is left to report through.
  }
}

}  // namespace

void OnLibraryAttach() {
  // Whatever fails, the plug-in stays loaded with nothing registered and the server runs on.
  LoadStep step = LoadStep::CreatingLogger;
  try {
    Load(step);
  } catch (const std::exception& error) {
    LogLoadFailure(step, error.what());
  } catch (...) {
    LogLoadFailure(step, "unknown error");
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
