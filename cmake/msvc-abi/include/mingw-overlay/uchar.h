// uchar.h -- replaces mingw-w64's version, which typedefs char16_t/char32_t
// whenever the compiler is not GCC (invalid in C++). UCRT functions only.

#pragma once
#ifndef _UCHAR
#define _UCHAR
#include <corecrt.h>
#include <stddef.h>
#include <stdint.h>
#include <wchar.h>
#define __STDC_UTF_16__ 1
#define __STDC_UTF_32__ 1
#ifndef __cplusplus
typedef uint_least16_t char16_t;
typedef uint_least32_t char32_t;
#endif
#ifdef __cplusplus
extern "C" {
#endif
__declspec(dllimport) size_t __cdecl mbrtoc16(char16_t* __restrict _Pc16, const char* __restrict _S,
                                              size_t _N, mbstate_t* __restrict _Ps);
__declspec(dllimport) size_t
    __cdecl c16rtomb(char* __restrict _S, char16_t _C16, mbstate_t* __restrict _Ps);
__declspec(dllimport) size_t __cdecl mbrtoc32(char32_t* __restrict _Pc32, const char* __restrict _S,
                                              size_t _N, mbstate_t* __restrict _Ps);
__declspec(dllimport) size_t
    __cdecl c32rtomb(char* __restrict _S, char32_t _C32, mbstate_t* __restrict _Ps);
#ifdef __cplusplus
}
#endif
#endif
