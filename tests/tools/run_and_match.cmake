# kv_run_and_match(COMMAND WORD... [INPUT FILE]): runs the program PROGRAM (under EMULATOR, which
# the Windows builds give to run it under Wine) with the words, standard input read from FILE when
# given, and fails unless its exit status is EXIT_STATUS and its output (standard output and
# standard error, CR LF read as LF) matches OUTPUT_REGEX. The output is left in `output`.
function(kv_run_and_match)
  cmake_parse_arguments(PARSE_ARGV 0 run "" "INPUT" "COMMAND")
  separate_arguments(emulator UNIX_COMMAND "${EMULATOR}")
  set(input "")
  if(run_INPUT)
    set(input INPUT_FILE ${run_INPUT})
  endif()
  execute_process(
    COMMAND ${emulator} ${PROGRAM} ${run_COMMAND}
    ${input}
    OUTPUT_VARIABLE out
    ERROR_VARIABLE errors
    RESULT_VARIABLE exit_status
    TIMEOUT 60)
  string(REPLACE "\r\n" "\n" out "${out}${errors}")
  if(NOT exit_status EQUAL EXIT_STATUS)
    message(FATAL_ERROR "exit status ${exit_status}, expected ${EXIT_STATUS}; output:\n${out}")
  endif()
  if(NOT out MATCHES "${OUTPUT_REGEX}")
    message(FATAL_ERROR "the output does not match ${OUTPUT_REGEX}:\n${out}")
  endif()
  set(output "${out}" PARENT_SCOPE)
endfunction()
