// msvc_abi_sdk_compat.h -- Windows SDK declarations missing from (or mis-guarded
// in) the mingw-w64 10 headers, needed by the STL's filesystem.cpp.
// (Values from the public Win32 API documentation).
#pragma once
#include <windows.h>
#if _WIN32_WINNT < 0x0A000002  // mingw-w64 10 guards the enumerator with an NTDDI-style value
#define FileDispositionInfoEx ((FILE_INFO_BY_HANDLE_CLASS)21)
#define FileRenameInfoEx ((FILE_INFO_BY_HANDLE_CLASS)22)
#endif
#ifdef __cplusplus
extern "C"
#endif
    __declspec(dllimport) DWORD WINAPI GetTempPath2W(DWORD BufferLength, LPWSTR Buffer);
