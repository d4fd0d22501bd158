# Cross-compiles for Windows x86-64 with Debian's MinGW-w64 (posix thread model: the win32 model
# lacks std::mutex, which spdlog needs). Tests and other build-time runs go through Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KESTROVAR_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KESTROVAR_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KESTROVAR_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KESTROVAR_MINGW_TRIPLE}-windres)

# Search only the MinGW sysroot for headers, libraries and packages, so that nothing of the Linux
# system leaks into the Windows build; programs (tools run on this machine) come from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${KESTROVAR_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# ctest (and anything using the emulator) runs the .exe files through the Wine loader.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
