#include "plugin/entry_point.h"

#include <spdlog/spdlog.h>

#include <exception>

#include "plugin/plugin.h"

namespace {

void LogLoadFailure(const LoadProgress& progress, const char* what) noexcept {
  try {
    if (!PluginLogger) return;
    // After a failed take-back (logged above this line) something is still registered: the
    // unload removes everything again.
    const char* taken_back = progress.all_taken_back
                                 ? "What was registered is taken back."
                                 : "Not all that was registered could be taken back (see "
                                   "above); the plug-in's unload tries again.";
    switch (progress.step) {
      case LoadStep::CreatingLogger:
        PluginLogger->critical("Failed to set up the log! \n {}", what);
        break;
      case LoadStep::ReadingConfig:
        PluginLogger->critical("Failed to load config! \n {}", what);
        break;
      case LoadStep::Registering:
        PluginLogger->critical("Failed to register with the host! {} \n {}", taken_back, what);
        break;
      case LoadStep::AskingStatus:
        // Every registration succeeded: the host failed to say whether the world is up.
        PluginLogger->critical("Failed to ask the host whether the world is up! {} \n {}",
                               taken_back, what);
        break;
    }
  } catch (...) {
    // Nothing is left to report through.
  }
}

}  // namespace

void OnLibraryAttach() {
  // Whatever fails, the plug-in stays loaded with nothing registered and the server runs on.
  LoadProgress progress;
  try {
    Load(progress);
  } catch (const std::exception& error) {
    LogLoadFailure(progress, error.what());
  } catch (...) {
    LogLoadFailure(progress, "unknown error");
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
