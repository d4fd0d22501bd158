# kestrovar_warnings: what every target of the project compiles with (C++20, -Wall -Wextra).
include_guard(GLOBAL)

add_library(kestrovar_warnings INTERFACE)
target_compile_features(kestrovar_warnings INTERFACE cxx_std_20)
target_compile_options(kestrovar_warnings INTERFACE -Wall -Wextra)
if(WIN32)
  # <windows.h> must not turn std::min / std::max and numeric_limits<>::max into macros.
  target_compile_definitions(kestrovar_warnings INTERFACE NOMINMAX)
endif()
