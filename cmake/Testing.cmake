# kestrovar_add_test(NAME name SOURCES src... [LIBS lib...] [ARGS arg...] [LABELS label...]
#                    [WORKING_DIRECTORY dir] [TIMEOUT seconds] [NO_MAIN])
#
# Builds a GoogleTest executable into ${CMAKE_BINARY_DIR}/bin and registers it with ctest as one
# test. In the Windows build ctest runs it through CMAKE_CROSSCOMPILING_EMULATOR (Wine).
# GoogleTest's main() is linked unless NO_MAIN is given; a test file that defines its own main()
# wins over it either way, since the library's main is only taken when none is defined.
# The test runs in a folder of its own, ${CMAKE_BINARY_DIR}/test-work/<name>, unless
# WORKING_DIRECTORY says otherwise, so tests that write files do not meet each other.
#
# One ctest per executable in both builds keeps the two alike: the cases of one executable run in
# one process, in order, exactly as under Wine. Natively -DKESTROVAR_DISCOVER_TESTS=ON registers
# every case separately instead.
include_guard(GLOBAL)

option(KESTROVAR_DISCOVER_TESTS "Register each GoogleTest case as its own ctest (native only)" OFF)
set(KESTROVAR_TEST_TIMEOUT 300 CACHE STRING "Default ctest timeout of one test executable, seconds")

include(GoogleTest)

function(kestrovar_add_test)
  cmake_parse_arguments(PARSE_ARGV 0 arg "NO_MAIN" "NAME;WORKING_DIRECTORY;TIMEOUT"
                        "SOURCES;LIBS;ARGS;LABELS")
  if(NOT arg_NAME OR NOT arg_SOURCES)
    message(FATAL_ERROR "kestrovar_add_test: NAME and SOURCES are required")
  endif()
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "kestrovar_add_test(${arg_NAME}): unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT arg_WORKING_DIRECTORY)
    set(arg_WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/test-work/${arg_NAME})
  endif()
  file(MAKE_DIRECTORY ${arg_WORKING_DIRECTORY})
  if(NOT arg_TIMEOUT)
    set(arg_TIMEOUT ${KESTROVAR_TEST_TIMEOUT})
  endif()

  add_executable(${arg_NAME} ${arg_SOURCES})
  target_link_libraries(${arg_NAME} PRIVATE kestrovar_warnings ${arg_LIBS} kv::gtest)
  if(NOT arg_NO_MAIN)
    target_link_libraries(${arg_NAME} PRIVATE kv::gtest_main)
  endif()

  if(KESTROVAR_DISCOVER_TESTS AND NOT CMAKE_CROSSCOMPILING)
    set(properties TIMEOUT ${arg_TIMEOUT})
    if(arg_LABELS)
      list(APPEND properties LABELS "${arg_LABELS}")
    endif()
    gtest_discover_tests(${arg_NAME} EXTRA_ARGS ${arg_ARGS}
                         WORKING_DIRECTORY ${arg_WORKING_DIRECTORY} DISCOVERY_MODE PRE_TEST
                         PROPERTIES ${properties})
  else()
    add_test(NAME ${arg_NAME} COMMAND ${arg_NAME} ${arg_ARGS}
             WORKING_DIRECTORY ${arg_WORKING_DIRECTORY})
    set_tests_properties(${arg_NAME} PROPERTIES TIMEOUT ${arg_TIMEOUT})
    if(arg_LABELS)
      set_tests_properties(${arg_NAME} PROPERTIES LABELS "${arg_LABELS}")
    endif()
  endif()
endfunction()
