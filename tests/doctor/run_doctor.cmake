# Lays out a server folder SERVER (version.dll copied from HOST, ArkApi/Plugins/Kestrovar/ with the
# plug-in from PLUGIN and config.json from CONFIG; no folder at all when neither HOST nor PLUGIN is
# given), runs `kestrovar doctor SERVER ARGS` (ARGS "NO_SERVER": `kestrovar doctor` alone) and
# checks its exit status and that its output (CR LF read as LF) matches OUTPUT_REGEX. GAME, when
# given, is a folder of a test game build whose files (ShooterGameServer.exe and .pdb, and any
# other) go where a server keeps them, ShooterGame/Binaries/Win64/. The Windows builds pass the emulator that runs
# kestrovar.exe under Wine.
file(REMOVE_RECURSE ${SERVER})
set(plugins ${SERVER}/ArkApi/Plugins/Kestrovar)
if(HOST OR PLUGIN)
  file(MAKE_DIRECTORY ${plugins})
  file(COPY_FILE ${CONFIG} ${plugins}/config.json)
endif()
if(HOST)
  file(COPY_FILE ${HOST} ${SERVER}/version.dll)
endif()
if(PLUGIN)
  file(COPY_FILE ${PLUGIN} ${plugins}/Kestrovar.dll)
endif()
if(GAME)
  set(binaries ${SERVER}/ShooterGame/Binaries/Win64)
  file(MAKE_DIRECTORY ${binaries})
  file(COPY ${GAME}/ DESTINATION ${binaries})
endif()
if(ARGS STREQUAL "NO_SERVER")
  set(command doctor)
else()
  set(command doctor ${SERVER} ${ARGS})
endif()
include(${CMAKE_CURRENT_LIST_DIR}/../tools/run_and_match.cmake)
kv_run_and_match(COMMAND ${command})
