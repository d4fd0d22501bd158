# Runs `kestrovar` with ARGS (a list), standard input read from INPUT when given, and checks its exit status and that its output (standard
# output and standard error, CR LF read as LF) matches OUTPUT_REGEX. The Windows build passes the
# emulator that runs the program under Wine.
include(${CMAKE_CURRENT_LIST_DIR}/run_and_match.cmake)
kv_run_and_match(COMMAND ${ARGS} INPUT "${INPUT}")
# With MAX_COLUMNS, no line of the output may be wider; with COLUMNS_SECTION too, no line of the
# part of the output that this regular expression matches (one without paths in it, whose length
# depends on the checkout).
if(MAX_COLUMNS)
  if(COLUMNS_SECTION)
    string(REGEX MATCH "${COLUMNS_SECTION}" output "${output}")
    if(output STREQUAL "")
      message(FATAL_ERROR "no part of the output matches ${COLUMNS_SECTION}")
    endif()
  endif()
  string(REPLACE "\n" ";" lines "${output}")
  foreach(line IN LISTS lines)
    string(LENGTH "${line}" columns)
    if(columns GREATER MAX_COLUMNS)
      message(FATAL_ERROR "a line of ${columns} columns, more than ${MAX_COLUMNS}:\n${line}")
    endif()
  endforeach()
endif()
