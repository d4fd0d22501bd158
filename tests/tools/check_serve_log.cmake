# Runs a `kestrovar serve` session (SCRIPT, with SERVER_CONFIG as the plug-in's config.json), then
# `kestrovar check CHECKED --classes` on what the session wrote: its log (CLASSES=log) or its dump
# file (CLASSES=dump). The check's exit status and output (CR LF read as LF) must be EXIT_STATUS and
# match OUTPUT_REGEX. The Windows build passes the emulator that runs the program under Wine.
foreach(required PROGRAM SCRIPT SERVER_CONFIG CHECKED CLASSES WORK_DIR EXIT_STATUS OUTPUT_REGEX)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "check_serve_log.cmake: -D${required}= is required")
  endif()
endforeach()
separate_arguments(emulator UNIX_COMMAND "${EMULATOR}")
set(server_dir ${WORK_DIR}/server)
set(plugin_dir ${server_dir}/ArkApi/Plugins/Kestrovar)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${plugin_dir})
file(COPY_FILE ${SERVER_CONFIG} ${plugin_dir}/config.json)

execute_process(
  COMMAND ${emulator} ${PROGRAM} serve --server-dir ${server_dir} --no-log-stdout
  INPUT_FILE ${SCRIPT}
  OUTPUT_VARIABLE output
  ERROR_VARIABLE errors
  RESULT_VARIABLE exit_status
  TIMEOUT 60)
if(NOT exit_status EQUAL 0)
  message(FATAL_ERROR "serve exited ${exit_status}:\n${output}${errors}")
endif()

if(CLASSES STREQUAL "log")
  set(classes ${server_dir}/logs/server.log)
else()
  file(GLOB classes ${plugin_dir}/DinoDumpLogs/*)
  list(LENGTH classes dumps)
  if(NOT dumps EQUAL 1)
    message(FATAL_ERROR "expected one dump file, found ${dumps}: ${classes}")
  endif()
endif()

include(${CMAKE_CURRENT_LIST_DIR}/run_and_match.cmake)
kv_run_and_match(COMMAND check ${CHECKED} --classes ${classes})
