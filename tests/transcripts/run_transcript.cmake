# Runs one transcript: a `kestrovar serve` session fed with NAME.kvs, whose output (and the dump
# files it leaves) must equal NAME.expected. Run by ctest with the host's cmake, in both builds; the
# Windows build passes the emulator that runs the program under Wine.
#
#   -DPROGRAM=  the kestrovar program        -DEMULATOR=  how to run it (may be empty)
#   -DSCRIPT=   NAME.kvs                     -DEXPECTED=  NAME.expected
#   -DWORK_DIR= scratch folder               -DUPDATE=1   rewrite NAME.expected instead of checking
#   -DCONFIG=   the plug-in's config.json (default: NAME.config.json beside the script, if any)
#
# The first line of the script may be "#! OPTIONS" (extra options for serve). A NAME.config.json
# beside the script becomes the plug-in's config.json. Log lines lose their time, dump file names
# their time stamp, and the server folder reads <server>. Lines of dump files end in <EOL>, standing
# for the platform's line end (CR LF on Windows, LF elsewhere), so one expected file checks both.

foreach(required PROGRAM SCRIPT EXPECTED WORK_DIR)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "run_transcript.cmake: -D${required}= is required")
  endif()
endforeach()

get_filename_component(script_dir ${SCRIPT} DIRECTORY)
get_filename_component(name ${EXPECTED} NAME_WE)
set(server_dir ${WORK_DIR}/server)
set(plugin_dir ${server_dir}/ArkApi/Plugins/Kestrovar)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${plugin_dir})
if(NOT DEFINED CONFIG)
  set(CONFIG ${script_dir}/${name}.config.json)
endif()
if(EXISTS ${CONFIG})
  file(COPY_FILE ${CONFIG} ${plugin_dir}/config.json)
endif()

file(STRINGS ${SCRIPT} first_line LIMIT_COUNT 1)
set(options "")
if(first_line MATCHES "^#! (.*)$")
  separate_arguments(options UNIX_COMMAND "${CMAKE_MATCH_1}")
endif()

set(emulator "")
if(EMULATOR)
  separate_arguments(emulator UNIX_COMMAND "${EMULATOR}")
endif()

execute_process(
  COMMAND ${emulator} ${PROGRAM} serve --server-dir ${server_dir} --echo ${options}
  INPUT_FILE ${SCRIPT}
  OUTPUT_VARIABLE output
  ERROR_VARIABLE errors
  RESULT_VARIABLE exit_code
  TIMEOUT 120)

string(REPLACE "\r\n" "\n" output "${output}")
string(REPLACE "${server_dir}" "<server>" output "${output}")
set(two "[0-9][0-9]")
string(REGEX REPLACE "${two}/${two}/${two} ${two}:${two} \\[" "[" output "${output}")
string(APPEND output "exit ${exit_code}\n")

# Dump files, in name order, with their line ends made visible.
file(GLOB dumps ${plugin_dir}/DinoDumpLogs/*)
list(SORT dumps)
foreach(dump IN LISTS dumps)
  get_filename_component(dump_name ${dump} NAME)
  set(stamp_pattern "${two}-${two}-${two}${two}_${two}-${two}-${two}")
  string(REGEX REPLACE "^DinoDumpLog_${stamp_pattern}\\.txt$" "DinoDumpLog_<time>.txt" shown_name
                       "${dump_name}")
  string(APPEND output "--- file ${shown_name}\n")
  # Read as bytes: a text read would not show the carriage returns that are being checked.
  file(READ ${dump} hex HEX)
  string(REGEX MATCHALL "[0-9a-f][0-9a-f]" bytes "${hex}")
  set(content "")
  set(pending_cr FALSE)
  foreach(byte IN LISTS bytes)
    if(pending_cr)
      set(pending_cr FALSE)
      if(byte STREQUAL "0a")
        string(APPEND content "<EOL>\n")
        continue()
      endif()
      string(APPEND content "<CR>")
    endif()
    if(byte STREQUAL "0d" AND EMULATOR)
      set(pending_cr TRUE)
    elseif(byte STREQUAL "0d")
      string(APPEND content "<CR>")
    elseif(byte STREQUAL "0a" AND NOT EMULATOR)
      string(APPEND content "<EOL>\n")
    elseif(byte STREQUAL "0a")
      string(APPEND content "<LF>\n")
    else()
      math(EXPR code "0x${byte}")
      if(code LESS 32 OR code GREATER 126)
        string(APPEND content "<x${byte}>")
      else()
        string(ASCII ${code} character)
        string(APPEND content "${character}")
      endif()
    endif()
  endforeach()
  if(pending_cr)
    string(APPEND content "<CR>")
  endif()
  string(APPEND output "${content}--- end\n")
endforeach()

if(UPDATE)
  file(WRITE ${EXPECTED} "${output}")
  return()
endif()

file(READ ${EXPECTED} expected)
if(NOT output STREQUAL expected)
  file(WRITE ${WORK_DIR}/actual.txt "${output}")
  find_program(diff_program diff)
  if(diff_program)
    execute_process(COMMAND ${diff_program} -u ${EXPECTED} ${WORK_DIR}/actual.txt
                    OUTPUT_VARIABLE difference)
  endif()
  message(FATAL_ERROR "${name}: output differs from ${EXPECTED}\n${difference}\n"
                      "stderr:\n${errors}\n(actual output in ${WORK_DIR}/actual.txt)")
endif()
message(STATUS "${name}: output as expected")
