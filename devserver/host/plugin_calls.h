#pragma once

// Every call from the stand-in into plug-in code (a detour, a command callback, a timer task, the
// library's load and release) goes through CallIntoPlugin. An exception that comes back is caught
// here and recorded as a fault: on a real server it would take the process down.

#include <exception>
#include <string_view>
#include <type_traits>

namespace devserver {

// Whether plug-in code is running now (possibly with game code called from it). Registrations and
// engine memory taken meanwhile are attributed to the plug-in.
bool InPluginCode();

class PluginCallScope {
 public:
  PluginCallScope();
  ~PluginCallScope();
  PluginCallScope(const PluginCallScope&) = delete;
  PluginCallScope& operator=(const PluginCallScope&) = delete;

 private:
  int game_scopes_;
};

void ReportEscapedException(std::string_view where, std::string_view what) noexcept;

// Runs `work` as plug-in code; `where` names it in a fault ("the detour of AActor.Destroy").
// On an escaped exception the result is a value-initialised Result.
template <typename Result, typename Work>
Result CallIntoPlugin(std::string_view where, Work&& work) noexcept {
  const PluginCallScope scope;
  try {
    return work();
  } catch (const std::exception& error) {
    ReportEscapedException(where, error.what());
  } catch (...) {
    ReportEscapedException(where, "an exception that is not a std::exception");
  }
  if constexpr (!std::is_void_v<Result>) return Result{};
}

}  // namespace devserver
