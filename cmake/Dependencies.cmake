# Third-party libraries, all from Debian packages, under the same target names in both builds:
#   kv::json        nlohmann json
#   kv::spdlog      spdlog with fmt
#   kv::cli11       CLI11
#   kv::gtest       GoogleTest (without main)    kv::gtest_main   GoogleTest's main()
#   kv::gmock       GoogleMock (without main)
#   kv::asio        standalone asio, header-only (with the system's socket libraries)
#   kv::benchmark   Google Benchmark (native only)  kv::benchmark_main  its main()
#
# Native: Debian's CMake package configs (spdlog is the shared library with an external fmt).
# Windows: json, spdlog, fmt and CLI11 header-only from staging folders that link to exactly their
# header folders (putting /usr/include itself on the path would pull Linux headers into the Windows
# build), and GoogleTest built from Debian's source package with the cross compiler.

include_guard(GLOBAL)

function(kestrovar_interface_target name)
  add_library(kv_${name} INTERFACE)
  add_library(kv::${name} ALIAS kv_${name})
endfunction()

foreach(dep IN ITEMS json spdlog cli11 gtest gtest_main gmock asio)
  kestrovar_interface_target(${dep})
endforeach()
# asio decides between aligned_alloc and operator new by what the standard library has declared
# before its first header, so files that include it first would disagree with the others (and
# free with one what the other allocated): one choice for all.
target_compile_definitions(kv_asio INTERFACE ASIO_STANDALONE ASIO_NO_DEPRECATED
                                             ASIO_DISABLE_STD_ALIGNED_ALLOC)

if(NOT CMAKE_CROSSCOMPILING)
  find_package(nlohmann_json 3.10 CONFIG REQUIRED)
  find_package(fmt CONFIG REQUIRED)
  find_package(spdlog CONFIG REQUIRED)
  find_package(CLI11 CONFIG REQUIRED)
  find_package(GTest CONFIG REQUIRED)
  find_package(benchmark CONFIG REQUIRED)

  target_link_libraries(kv_json INTERFACE nlohmann_json::nlohmann_json)
  target_link_libraries(kv_spdlog INTERFACE spdlog::spdlog fmt::fmt)
  target_link_libraries(kv_cli11 INTERFACE CLI11::CLI11)
  target_link_libraries(kv_gtest INTERFACE GTest::gtest)
  target_link_libraries(kv_gtest_main INTERFACE GTest::gtest_main)
  target_link_libraries(kv_gmock INTERFACE GTest::gmock)
  find_path(KESTROVAR_ASIO_INCLUDE asio.hpp)
  if(NOT KESTROVAR_ASIO_INCLUDE)
    message(FATAL_ERROR "Missing asio.hpp: run scripts/install-deps.sh")
  endif()
  find_package(Threads REQUIRED)
  target_include_directories(kv_asio SYSTEM INTERFACE ${KESTROVAR_ASIO_INCLUDE})
  target_link_libraries(kv_asio INTERFACE Threads::Threads)

  kestrovar_interface_target(benchmark)
  kestrovar_interface_target(benchmark_main)
  target_link_libraries(kv_benchmark INTERFACE benchmark::benchmark)
  target_link_libraries(kv_benchmark_main INTERFACE benchmark::benchmark_main)
  return()
endif()

# --- Windows cross build -------------------------------------------------------------------------

set(KESTROVAR_SYSTEM_INCLUDE /usr/include CACHE PATH "Folder holding the Debian library headers")

# Links ${KESTROVAR_SYSTEM_INCLUDE}/<folder> for each folder into ${stage}.
function(kestrovar_stage_headers stage)
  file(MAKE_DIRECTORY ${stage})
  foreach(folder IN LISTS ARGN)
    set(source ${KESTROVAR_SYSTEM_INCLUDE}/${folder})
    if(NOT IS_DIRECTORY ${source})
      message(FATAL_ERROR "Missing ${source}: run scripts/install-deps.sh")
    endif()
    if(NOT EXISTS ${stage}/${folder})
      file(CREATE_LINK ${source} ${stage}/${folder} SYMBOLIC)
    endif()
  endforeach()
endfunction()

set(KESTROVAR_STAGED_INCLUDE ${CMAKE_BINARY_DIR}/staged-include)
kestrovar_stage_headers(${KESTROVAR_STAGED_INCLUDE} nlohmann spdlog fmt)
# CLI11 only serves the command-line program, so it gets a folder of its own.
set(KESTROVAR_STAGED_CLI11_INCLUDE ${CMAKE_BINARY_DIR}/staged-include-cli11)
kestrovar_stage_headers(${KESTROVAR_STAGED_CLI11_INCLUDE} CLI)

target_include_directories(kv_json SYSTEM INTERFACE ${KESTROVAR_STAGED_INCLUDE})
target_include_directories(kv_spdlog SYSTEM INTERFACE ${KESTROVAR_STAGED_INCLUDE})
# Debian's spdlog is configured for an external fmt; both are used header-only here.
target_compile_definitions(kv_spdlog INTERFACE SPDLOG_HEADER_ONLY FMT_HEADER_ONLY
                                               SPDLOG_FMT_EXTERNAL)
target_include_directories(kv_cli11 SYSTEM INTERFACE ${KESTROVAR_STAGED_CLI11_INCLUDE})
# Header-only spdlog, fmt and json are most of what each file costs to compile; with this on, every
# target that uses them compiles them once, into a precompiled header.
option(KESTROVAR_PRECOMPILE_HEADERS "Precompile the header-only libraries per target" OFF)
if(KESTROVAR_PRECOMPILE_HEADERS)
  target_precompile_headers(kv_spdlog INTERFACE <spdlog/spdlog.h>)
  target_precompile_headers(kv_json INTERFACE <nlohmann/json.hpp>)
endif()
# asio is a folder and a header beside it; only the RCON listener needs it.
set(KESTROVAR_STAGED_ASIO_INCLUDE ${CMAKE_BINARY_DIR}/staged-include-asio)
kestrovar_stage_headers(${KESTROVAR_STAGED_ASIO_INCLUDE} asio)
if(NOT EXISTS ${KESTROVAR_STAGED_ASIO_INCLUDE}/asio.hpp)
  file(CREATE_LINK ${KESTROVAR_SYSTEM_INCLUDE}/asio.hpp ${KESTROVAR_STAGED_ASIO_INCLUDE}/asio.hpp
       SYMBOLIC)
endif()
target_include_directories(kv_asio SYSTEM INTERFACE ${KESTROVAR_STAGED_ASIO_INCLUDE})
# Windows 10 as the oldest target: asio picks its socket functions by it.
target_compile_definitions(kv_asio INTERFACE _WIN32_WINNT=0x0A00)
target_link_libraries(kv_asio INTERFACE ws2_32 mswsock)

set(KESTROVAR_GOOGLETEST_SOURCE /usr/src/googletest
    CACHE PATH "GoogleTest source tree, built with the cross compiler")
if(NOT EXISTS ${KESTROVAR_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "Missing ${KESTROVAR_GOOGLETEST_SOURCE}: run scripts/install-deps.sh")
endif()
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
# With Microsoft's toolchain GoogleTest would otherwise pick the static runtime (/MT).
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(gtest_build_tests OFF CACHE BOOL "" FORCE)
set(gtest_build_samples OFF CACHE BOOL "" FORCE)
# SYSTEM keeps GoogleTest's headers out of our warnings; EXCLUDE_FROM_ALL builds it only when a
# test needs it.
add_subdirectory(${KESTROVAR_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL
                 SYSTEM)
target_link_libraries(kv_gtest INTERFACE gtest)
target_link_libraries(kv_gtest_main INTERFACE gtest_main)
target_link_libraries(kv_gmock INTERFACE gmock)
