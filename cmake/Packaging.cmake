# The release archive, made by the Microsoft-ABI build only (the one a real host can load):
#   cmake --build --preset msvc-abi --target package  ->  Kestrovar-<version>-win64.zip
# It unpacks into a server's folder: the plug-in and a configuration that changes nothing (no limit,
# the level rule off, dumps written to files) where the host looks for them, a short text for the
# operator, the list of what the plug-in imports from the host, and `kestrovar` (with the stand-in
# host library it needs to start) in a folder of its own. The program finds the archive's plug-in
# from there (tools/common/plugin_path.h), so every command works where the archive was unpacked.
# examples/config.json, with its deliberate traps, is the simulator's and never goes in.
include_guard(GLOBAL)

# The Linux program installs into a folder of its own (/opt/kestrovar unless --prefix says
# otherwise), flat: `kestrovar`, the stand-in host it needs to start, and the plug-in build that
# `serve` and `simulate` load by default (tools/common/plugin_path.h). Each finds the others by a
# run path relative to itself, so the folder works wherever it is moved:
#   cmake --install build/native --prefix /opt/kestrovar
if(NOT WIN32)
  if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
    set(CMAKE_INSTALL_PREFIX /opt/kestrovar CACHE PATH "Where `cmake --install` puts kestrovar"
        FORCE)
  endif()
  set_target_properties(kestrovar version Kestrovar PROPERTIES INSTALL_RPATH "$ORIGIN")
  install(TARGETS kestrovar version Kestrovar RUNTIME DESTINATION . LIBRARY DESTINATION .)
  return()
endif()
if(NOT MSVC)
  return()
endif()

set(plugin_folder ArkApi/Plugins/Kestrovar)
install(FILES $<TARGET_FILE:Kestrovar> DESTINATION ${plugin_folder})
install(FILES ${PROJECT_SOURCE_DIR}/cmake/package/config.json DESTINATION ${plugin_folder})
install(FILES ${PROJECT_SOURCE_DIR}/cmake/package/README.txt ${PROJECT_SOURCE_DIR}/docs/host-abi.md
        ${PROJECT_SOURCE_DIR}/docs/game-abi.md
        DESTINATION .)
# Never beside the server's own version.dll: this one is the stand-in host, which only the program
# uses.
install(FILES $<TARGET_FILE:kestrovar> $<TARGET_FILE:version> DESTINATION kestrovar)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Kestrovar)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME Kestrovar-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_OUTPUT_CONFIG_FILE ${CMAKE_BINARY_DIR}/CPackConfig.cmake)
include(CPack)
