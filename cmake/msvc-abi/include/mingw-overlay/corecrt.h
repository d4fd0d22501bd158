// Overlay for mingw-w64's corecrt.h: add UCRT declarations the MS STL uses.
#pragma once
#include_next <corecrt.h>
#ifndef _MSVC_ABI_CORECRT_OVERLAY
#define _MSVC_ABI_CORECRT_OVERLAY
#ifdef __cplusplus
extern "C" {
#endif
__declspec(dllimport) void __cdecl _invalid_parameter_noinfo(void);
__declspec(dllimport) __declspec(noreturn) void __cdecl _invalid_parameter_noinfo_noreturn(void);
__declspec(dllimport) __declspec(noreturn) void __cdecl _invoke_watson(const wchar_t* _Expression,
                                                                       const wchar_t* _FunctionName,
                                                                       const wchar_t* _FileName,
                                                                       unsigned int _LineNo,
                                                                       uintptr_t _Reserved);
#ifdef __cplusplus
}
#endif
#ifndef _CRT_SECURE_INVALID_PARAMETER
#define _CRT_SECURE_INVALID_PARAMETER(expr) ::_invalid_parameter_noinfo_noreturn()
#endif
#endif
