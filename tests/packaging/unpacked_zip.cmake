cmake_minimum_required(VERSION 3.25)
# The release archive as an operator gets it: made by cpack, unpacked into a made-up server folder,
# and the archive's own kestrovar.exe run from there under Wine, as the operator's README.txt has
# them run it.
#   -DCPACK= -DCPACK_CONFIG= -DWINE_RUN= -DWORK= -DTEST_HOST= (the doctor tests' host library)
set(server ${WORK}/server)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${server})

execute_process(COMMAND ${CPACK} --config ${CPACK_CONFIG} -B ${WORK}/package
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
file(GLOB archive ${WORK}/package/*.zip)
list(LENGTH archive archives)
if(NOT result EQUAL 0 OR NOT archives EQUAL 1)
  message(FATAL_ERROR "cpack made no archive (${result}):\n${output}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${archive} WORKING_DIRECTORY ${server}
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cannot unpack ${archive}")
endif()

# What the archive holds, and nothing else: the program in kestrovar/, never beside the host.
file(GLOB_RECURSE tree RELATIVE ${server} ${server}/*)
list(SORT tree)
set(expected ArkApi/Plugins/Kestrovar/Kestrovar.dll ArkApi/Plugins/Kestrovar/config.json README.txt
             game-abi.md host-abi.md kestrovar/kestrovar.exe kestrovar/version.dll)
if(NOT tree STREQUAL expected)
  message(FATAL_ERROR "the archive holds\n  ${tree}\ninstead of\n  ${expected}")
endif()

# README.txt leads with the doctor and gives the program's exit codes.
file(READ ${server}/README.txt readme)
string(FIND "${readme}" "kestrovar\\kestrovar.exe doctor SERVER" doctor_at)
string(FIND "${readme}" "kestrovar\\kestrovar.exe check" check_at)
if(doctor_at LESS 0 OR check_at LESS doctor_at)
  message(FATAL_ERROR "README.txt does not lead with kestrovar doctor")
endif()
string(FIND "${readme}" "After every game update, run the doctor before you" update_at)
if(update_at LESS 0 OR update_at GREATER check_at)
  message(FATAL_ERROR "README.txt's first step does not say to run the doctor after a game update")
endif()
foreach(line "0   nothing to report" "1   findings reported" "2   input that cannot be used"
             "64  bad usage")
  string(FIND "${readme}" "${line}" at)
  if(at LESS 0)
    message(FATAL_ERROR "README.txt lacks the exit code line \"${line}\"")
  endif()
endforeach()

# Runs the archive's program from the server folder; its output in `output`.
function(run expected_code)
  execute_process(COMMAND ${WINE_RUN} kestrovar/kestrovar.exe ${ARGN} WORKING_DIRECTORY ${server}
                  RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err ${input})
  string(REPLACE "\r" "" out "${out}")
  if(NOT code EQUAL expected_code)
    message(FATAL_ERROR "kestrovar ${ARGN}: exit ${code}, not ${expected_code}\n${out}\n${err}")
  endif()
  set(output "${out}" PARENT_SCOPE)
endfunction()

# The doctor on the made-up server folder, with a test host that exports what the plug-in imports
# and the system folder of Wine's prefix as the runtime's: nothing found, the plug-in will load.
if(NOT EXISTS ${TEST_HOST})
  message(FATAL_ERROR "the doctor tests' host ${TEST_HOST} was not built")
endif()
file(COPY_FILE ${TEST_HOST} ${server}/version.dll)
run(0 doctor .)
if(NOT output MATCHES "\nverdict: the plug-in will load in this folder, as far as its files can tell; the game build was not checked \\(no program database\\)\n$")
  message(FATAL_ERROR "the doctor's verdict on the unpacked archive:\n${output}")
endif()
set(doctor_output "${output}")
file(REMOVE ${server}/version.dll)

# The shipped configuration as the plug-in reads it: the archive's plug-in, loaded by the archive's
# program into a simulated server over this folder, reads the shipped config.json itself. Twenty
# creatures of one class at a level no rule would let pass all stay, and the dump goes to a file.
set(raptor /Game/Creatures/Raptor/Raptor_Character.Raptor_Character_C)
set(key "Blueprint'/Game/Creatures/Raptor/Raptor_Character.Raptor_Character'")
file(WRITE ${WORK}/serve.txt
     "sim.spawn ${raptor} 20 100000\nsim.advance 10\nsim.census\nkvar.dumpdinos\nquit\n")
set(input INPUT_FILE ${WORK}/serve.txt)
run(0 serve --server-dir . --echo)
unset(input)
foreach(expected "census ${key} 20\n" "${key}. Num: 20\n")
  string(FIND "${output}" "${expected}" at)
  if(at LESS 0)
    message(FATAL_ERROR "the shipped configuration limited or removed something:\n${output}")
  endif()
endforeach()
if(output MATCHES "Failed|Error|FAULT")
  message(FATAL_ERROR "the plug-in reported an error:\n${output}")
endif()
file(GLOB dumps RELATIVE ${server} ${server}/ArkApi/Plugins/Kestrovar/DinoDumpLogs/*.txt)
list(LENGTH dumps dump_count)
if(NOT dump_count EQUAL 1)
  message(FATAL_ERROR "kvar.dumpdinos wrote ${dump_count} dump files, not 1")
endif()

# The check with the dump as the server's classes: nothing to report.
run(0 check ArkApi/Plugins/Kestrovar/config.json --classes ${dumps})

# The dry run with the shipped configuration: no class limited, the level rule off, nothing
# removed; and the simulator's own example runs too (exit 1: the check finds its deliberate
# letter-case trap).
run(0 simulate --config ArkApi/Plugins/Kestrovar/config.json --hours 1 --out ../simulate-shipped)
if(NOT output MATCHES "level rule: off")
  message(FATAL_ERROR "the shipped configuration has the level rule on:\n${output}")
endif()
string(REGEX MATCH "\nclass [^\n]*\n(.*)\nkey:" table "${output}")
string(REPLACE "\n" ";" rows "${CMAKE_MATCH_1}")
list(LENGTH rows row_count)
if(row_count EQUAL 0)
  message(FATAL_ERROR "no table in the report:\n${output}")
endif()
foreach(row IN LISTS rows)
  # limit, plug-in, live, peak, spawned, rm:lim, rm:lvl, sweep
  if(NOT row MATCHES "^[^ ]+ +- +[0-9]+ +[0-9]+ +[0-9]+ +[0-9]+ +0 +0 +0 ")
    message(FATAL_ERROR "the shipped configuration limited or removed: ${row}\n${output}")
  endif()
endforeach()
run(1 simulate --hours 1 --out ../simulate-example)
message(STATUS "unpacked into ${server}: ${tree}; ${row_count} classes simulated; the doctor:\n${doctor_output}")
