# Cross-compiles for Windows x86-64 with the Microsoft C++ ABI: clang-cl and lld-link from Debian,
# Microsoft's STL, and the runtime DLLs msvcp140, vcruntime140 and ucrtbase (/MD). This is the ABI
# that a host built with Microsoft's compiler expects of a plug-in. Tests run under Wine.
#
# The sysroot comes from scripts/setup-msvc-abi.sh, which the first configure runs (it returns at
# once when the sysroot is up to date). KESTROVAR_MSVC_ABI_SYSROOT names where it is.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 10.0)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

if(NOT KESTROVAR_MSVC_ABI_SYSROOT)
  get_filename_component(KESTROVAR_MSVC_ABI_SYSROOT
                         "${CMAKE_CURRENT_LIST_DIR}/../build/msvc-abi-sysroot" ABSOLUTE)
endif()
set(KESTROVAR_MSVC_ABI_SYSROOT "${KESTROVAR_MSVC_ABI_SYSROOT}"
    CACHE PATH "Sysroot made by scripts/setup-msvc-abi.sh")
# try_compile projects read this file again; they get the sysroot by this variable and must not
# run the set-up again.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KESTROVAR_MSVC_ABI_SYSROOT)
if(NOT DEFINED ENV{KESTROVAR_MSVC_ABI_CHECKED})
  execute_process(
    COMMAND bash "${CMAKE_CURRENT_LIST_DIR}/../scripts/setup-msvc-abi.sh"
            "${KESTROVAR_MSVC_ABI_SYSROOT}"
    RESULT_VARIABLE setup_result
    ERROR_VARIABLE setup_errors)
  if(NOT setup_result EQUAL 0)
    message(FATAL_ERROR "scripts/setup-msvc-abi.sh failed (${setup_result}):\n${setup_errors}")
  endif()
  set(ENV{KESTROVAR_MSVC_ABI_CHECKED} 1)
endif()

set(sysroot "${KESTROVAR_MSVC_ABI_SYSROOT}")
set(CMAKE_C_COMPILER clang-cl-19)
set(CMAKE_CXX_COMPILER clang-cl-19)
set(CMAKE_C_COMPILER_TARGET x86_64-pc-windows-msvc)
set(CMAKE_CXX_COMPILER_TARGET x86_64-pc-windows-msvc)
set(CMAKE_LINKER lld-link-19)
set(CMAKE_AR llvm-lib-19)
set(CMAKE_RC_COMPILER llvm-rc-19)
set(CMAKE_MT llvm-mt-19)

# /X: none of this machine's own include folders. The STL, our stand-ins for the VC runtime's
# headers and mingw-w64's C runtime and Windows headers in UCRT mode take their place.
# _USE_STD_VECTOR_ALGORITHMS=0: the STL's vectorised algorithms are not in the sysroot.
# _DISABLE_CONSTEXPR_MUTEX_CONSTRUCTOR: a server may ship an msvcp140.dll older than these
# headers, and the newer constexpr std::mutex crashes on it.
string(JOIN " " msvc_abi_flags
  -fms-compatibility-version=19.44 /X
  -imsvc "${sysroot}/include/stl"
  -imsvc "${sysroot}/include/vcruntime"
  -imsvc "${sysroot}/include/mingw-overlay"
  -imsvc /usr/share/mingw-w64/include
  -vfsoverlay "${sysroot}/include/vfs-ci.yaml"
  -D__MSVCRT_VERSION__=0xE00 -D_UCRT
  -D_USE_STD_VECTOR_ALGORITHMS=0
  -D_DISABLE_CONSTEXPR_MUTEX_CONSTRUCTOR)
set(CMAKE_C_FLAGS_INIT "${msvc_abi_flags}")
set(CMAKE_CXX_FLAGS_INIT "${msvc_abi_flags}")
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT
      "/libpath:${sysroot}/lib /vfsoverlay:${sysroot}/lib/vfs-ci.yaml")
endforeach()

# Only the release runtime DLLs exist (no debug msvcp140d or ucrtbased): /MD in every
# configuration, and _DEBUG is never defined.
set(CMAKE_POLICY_DEFAULT_CMP0091 NEW)
set(CMAKE_MSVC_RUNTIME_LIBRARY MultiThreadedDLL CACHE STRING "Only /MD exists in this toolchain")

set(CMAKE_FIND_ROOT_PATH "${sysroot}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# ctest (and anything using the emulator) runs the .exe files through the Wine loader.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
