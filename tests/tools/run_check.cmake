# Runs `kestrovar` with ARGS (a list), standard input read from INPUT when given, and checks its exit status and that its output (standard
# output and standard error, CR LF read as LF) matches OUTPUT_REGEX. The Windows build passes the
# emulator that runs the program under Wine.
separate_arguments(emulator UNIX_COMMAND "${EMULATOR}")
set(input "")
if(INPUT)
  set(input INPUT_FILE ${INPUT})
endif()
execute_process(
  COMMAND ${emulator} ${PROGRAM} ${ARGS}
  ${input}
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
# With MAX_COLUMNS, no line of the output may be wider.
if(MAX_COLUMNS)
  string(REPLACE "\n" ";" lines "${output}")
  foreach(line IN LISTS lines)
    string(LENGTH "${line}" columns)
    if(columns GREATER MAX_COLUMNS)
      message(FATAL_ERROR "a line of ${columns} columns, more than ${MAX_COLUMNS}:\n${line}")
    endif()
  endforeach()
endif()
