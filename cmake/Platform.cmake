# Output layout and runtime linking, shared by both builds.
include_guard(GLOBAL)

# Every executable, DLL and shared object lands in one folder, so that a program finds
# version.dll / libversion.so and the plug-in beside itself (Windows looks in the program's folder
# first). Static and import libraries go to lib/.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)

if(MINGW)
  # The DLLs and programs must need nothing of MinGW at run time: only system DLLs (and, for the
  # plug-in, version.dll). -static-libgcc -static-libstdc++ alone would still leave the posix
  # thread model's libwinpthread-1.dll behind, so the rest of the runtime is linked statically too.
  string(APPEND CMAKE_SHARED_LINKER_FLAGS " -static-libgcc -static-libstdc++ -static")
  string(APPEND CMAKE_MODULE_LINKER_FLAGS " -static-libgcc -static-libstdc++ -static")
  string(APPEND CMAKE_EXE_LINKER_FLAGS " -static")
endif()
