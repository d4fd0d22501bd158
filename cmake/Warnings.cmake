# kestrovar_warnings: what every target of the project compiles with (C++20, -Wall -Wextra).
include_guard(GLOBAL)

add_library(kestrovar_warnings INTERFACE)
target_compile_features(kestrovar_warnings INTERFACE cxx_std_20)
if(CMAKE_CXX_COMPILER_FRONTEND_VARIANT STREQUAL "MSVC")
  # clang-cl: /W4 is its -Wall -Wextra (its -Wall would be every warning there is).
  target_compile_options(kestrovar_warnings INTERFACE /W4)
else()
  target_compile_options(kestrovar_warnings INTERFACE -Wall -Wextra)
endif()
if(WIN32)
  # <windows.h> must not turn std::min / std::max and numeric_limits<>::max into macros.
  target_compile_definitions(kestrovar_warnings INTERFACE NOMINMAX)
endif()
