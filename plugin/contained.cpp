#include "plugin/contained.h"

#include <spdlog/logger.h>

#include "plugin/plugin.h"

void LogContainedError(const char* context, const char* what) noexcept {
  try {
    if (PluginLogger) PluginLogger->critical("Error in {}: {}", context, what);
  } catch (...) {
    // Nothing is left to report through; the work has already stopped.
  }
}
