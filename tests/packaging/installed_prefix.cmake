# `cmake --install BUILD --prefix DIR`, DIR then moved, and the program run from its new place: serve
# and simulate must find the stand-in host and the plug-in beside them by run paths relative to
# themselves, never by the build folder. Nothing else goes into DIR.
file(REMOVE_RECURSE ${WORK})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${WORK}/installed
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${status}):\n${out}")
endif()
file(RENAME ${WORK}/installed ${WORK}/moved)
set(dir ${WORK}/moved)
file(GLOB installed RELATIVE ${dir} ${dir}/*)
list(SORT installed)
if(NOT installed STREQUAL "Kestrovar.so;kestrovar;libversion.so")
  message(FATAL_ERROR "installed: ${installed}")
endif()

# Nothing from the environment points at the build folder.
set(run ${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH ${dir}/kestrovar)

# simulate: the built-in day with the example configuration (its letter-case trap: exit 1).
execute_process(COMMAND ${run} simulate --hours 2 --out ${WORK}/simulation
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT status EQUAL 1 OR NOT out MATCHES "\ncensus: [^\n]*census.csv\n")
  message(FATAL_ERROR "simulate from the moved folder: exit ${status}\n${out}")
endif()

# serve: the plug-in beside the program loads, counts and dumps.
set(server ${WORK}/server)
file(WRITE ${server}/ArkApi/Plugins/Kestrovar/config.json "{}\n")
file(WRITE ${WORK}/serve.input
     "sim.spawn /Game/Creatures/Strider/Strider_Character.Strider_Character_C 2 20\n"
     "sim.rcon kvar.dumpdinos\nquit\n")
execute_process(COMMAND ${run} serve --server-dir ${server} --no-log-stdout
                INPUT_FILE ${WORK}/serve.input
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT status EQUAL 0
   OR NOT out MATCHES "Blueprint'/Game/Creatures/Strider/Strider_Character.Strider_Character'. Num: 2")
  message(FATAL_ERROR "serve from the moved folder: exit ${status}\n${out}")
endif()
