#pragma once

#include <string_view>

namespace devserver {

// A call the real game would crash on (an unknown name, a null or foreign object, a field the
// object lacks): printed to standard error, then the process aborts, so the fault cannot go
// unnoticed.
[[noreturn]] void ProgrammingError(std::string_view message);

}  // namespace devserver
