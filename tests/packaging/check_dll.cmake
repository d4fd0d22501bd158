cmake_minimum_required(VERSION 3.25)
# Checks what a Windows library needs and offers: it may import only from the DLLs listed, and (with
# NO_EXPORTS) export nothing, so that it runs on a server with nothing of the build tools installed.
#   -DOBJDUMP= -DDLL= -DALLOWED=KERNEL32.dll,msvcrt.dll,version.dll [-DNO_EXPORTS=1]
# or, for a program, only what it must not import at start (delay-loaded imports are not listed):
#   -DOBJDUMP= -DDLL= -DFORBIDDEN=version.dll
# DLL names are compared without regard to letter case, as Windows looks them up.
string(TOLOWER "${ALLOWED}" ALLOWED)
string(REPLACE "," ";" ALLOWED "${ALLOWED}")
string(TOLOWER "${FORBIDDEN}" FORBIDDEN)
string(REPLACE "," ";" FORBIDDEN "${FORBIDDEN}")
execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cannot read ${DLL}")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
foreach(import IN LISTS imports)
  string(REPLACE "DLL Name: " "" name "${import}")
  string(TOLOWER "${name}" name)
  if(FORBIDDEN AND name IN_LIST FORBIDDEN)
    message(FATAL_ERROR "${DLL} imports from ${name} at start")
  elseif(NOT FORBIDDEN AND NOT name IN_LIST ALLOWED)
    message(FATAL_ERROR "${DLL} imports from ${name}; allowed: ${ALLOWED}")
  endif()
endforeach()
if(NO_EXPORTS AND dump MATCHES "\\[Ordinal/Name Pointer\\] Table\n[^\n]*\\[ *[0-9]+\\]")
  message(FATAL_ERROR "${DLL} exports symbols:\n${CMAKE_MATCH_0}")
endif()
message(STATUS "${DLL}: imports ${imports}")
