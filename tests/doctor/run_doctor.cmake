# Lays out a server folder SERVER (version.dll copied from HOST, ArkApi/Plugins/Kestrovar/ with the
# plug-in from PLUGIN and config.json from CONFIG; no folder at all when neither HOST nor PLUGIN is
# given), runs `kestrovar doctor SERVER ARGS` (ARGS "NO_SERVER": `kestrovar doctor` alone) and
# checks its exit status and that its output (CR LF read as LF) matches OUTPUT_REGEX. The Windows
# builds pass the emulator that runs kestrovar.exe under Wine.
separate_arguments(emulator UNIX_COMMAND "${EMULATOR}")
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
if(ARGS STREQUAL "NO_SERVER")
  set(command doctor)
else()
  set(command doctor ${SERVER} ${ARGS})
endif()
execute_process(
  COMMAND ${emulator} ${PROGRAM} ${command}
  OUTPUT_VARIABLE output
  ERROR_VARIABLE errors
  RESULT_VARIABLE exit_status
  TIMEOUT 60)
string(REPLACE "\r\n" "\n" output "${output}${errors}")
if(NOT exit_status EQUAL EXIT_STATUS)
  message(FATAL_ERROR "exit status ${exit_status}, expected ${EXIT_STATUS}; output:\n${output}")
endif()
if(NOT output MATCHES "${OUTPUT_REGEX}")
  message(FATAL_ERROR "the output does not match ${OUTPUT_REGEX}:\n${output}")
endif()
