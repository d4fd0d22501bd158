#pragma once

// Plug-in work inside a detour, a command handler or a timer task. An error there ends that piece
// of work only: it is logged, and the game or the host never sees it, since on a real server an
// exception leaving the plug-in takes the whole process down.

#include <exception>

void LogContainedError(const char* context, const char* what) noexcept;

template <typename Work>
void RunContained(const char* context, Work&& work) noexcept {
  try {
    work();
  } catch (const std::exception& error) {
    LogContainedError(context, error.what());
  } catch (...) {
    LogContainedError(context, "unknown error");
  }
}
