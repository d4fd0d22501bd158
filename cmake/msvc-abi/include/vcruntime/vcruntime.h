// vcruntime.h -- a minimal stand-in for the VC runtime
// header that Microsoft's open-source STL expects, layered on top of the
// mingw-w64 CRT headers (public domain) in UCRT mode.
#pragma once
#ifndef _VCRUNTIME_H
#define _VCRUNTIME_H

#ifndef __MSVCRT_VERSION__
#define __MSVCRT_VERSION__ 0xE00
#endif
#ifndef _UCRT
#define _UCRT
#endif

#include <_mingw.h>
#include <sal.h>
#include <vadefs.h>

#ifndef _CRT_PACKING
#define _CRT_PACKING 8
#endif

#ifndef _CRT_STRINGIZE
#define __CRT_STRINGIZE(_Value) #_Value
#define _CRT_STRINGIZE(_Value) __CRT_STRINGIZE(_Value)
#endif
#ifndef _CRT_WIDE
#define __CRT_WIDE(_String) L##_String
#define _CRT_WIDE(_String) __CRT_WIDE(_String)
#endif
#ifndef _CRT_APPEND
#define _CRT_APPEND_(_Value1, _Value2) _Value1##_Value2
#define _CRT_APPEND(_Value1, _Value2) _CRT_APPEND_(_Value1, _Value2)
#endif
#ifndef _CRT_CONCATENATE
#define _CRT_CONCATENATE_(a, b) a##b
#define _CRT_CONCATENATE(a, b) _CRT_CONCATENATE_(a, b)
#endif
#ifndef _CRT_UNPARENTHESIZE
#define _CRT_UNPARENTHESIZE_(...) __VA_ARGS__
#define _CRT_UNPARENTHESIZE(...) _CRT_UNPARENTHESIZE_ __VA_ARGS__
#endif

#ifdef __cplusplus
#define _CRT_BEGIN_C_HEADER __pragma(pack(push, _CRT_PACKING)) extern "C" {
#define _CRT_END_C_HEADER \
  }                       \
  __pragma(pack(pop))
#else
#define _CRT_BEGIN_C_HEADER __pragma(pack(push, _CRT_PACKING))
#define _CRT_END_C_HEADER __pragma(pack(pop))
#endif

#ifndef _VCRTIMP
#if defined(_DLL) && !defined(_VCRT_BUILD)
#define _VCRTIMP __declspec(dllimport)
#else
#define _VCRTIMP
#endif
#endif
#ifndef _ACRTIMP
#if defined(_DLL) && !defined(_CORECRT_BUILD)
#define _ACRTIMP __declspec(dllimport)
#else
#define _ACRTIMP
#endif
#endif
#ifndef _MRTIMP
#define _MRTIMP
#endif

// Import/export decorations used by the STL headers (msvcp140*.dll).
#ifndef _CRTIMP2
#define _CRTIMP2
#endif
#ifndef _MRTIMP2
#define _MRTIMP2
#endif
#ifndef _CRT_SATELLITE_1
#if defined(_DLL) && !defined(_STATIC_CPPLIB)
#define _CRT_SATELLITE_1 __declspec(dllimport)
#else
#define _CRT_SATELLITE_1
#endif
#endif
#ifndef _CRT_SATELLITE_2
#if defined(_DLL) && !defined(_STATIC_CPPLIB)
#define _CRT_SATELLITE_2 __declspec(dllimport)
#else
#define _CRT_SATELLITE_2
#endif
#endif
#ifndef _CRT_SATELLITE_CODECVT_IDS
#if defined(_DLL) && !defined(_STATIC_CPPLIB)
#define _CRT_SATELLITE_CODECVT_IDS __declspec(dllimport)
#else
#define _CRT_SATELLITE_CODECVT_IDS
#endif
#endif

#ifndef _CRT_SATELLITE_CODECVT_IDS_NOIMPORT
#define _CRT_SATELLITE_CODECVT_IDS_NOIMPORT
#endif

#ifndef __CLR_OR_THIS_CALL
#define __CLR_OR_THIS_CALL
#endif
#ifndef __CLRCALL_OR_CDECL
#define __CLRCALL_OR_CDECL __cdecl
#endif
#ifndef __CLRCALL_PURE_OR_CDECL
#define __CLRCALL_PURE_OR_CDECL __cdecl
#endif
#ifndef __CLRCALL_PURE_OR_STDCALL
#define __CLRCALL_PURE_OR_STDCALL __stdcall
#endif
#undef __CRTDECL
#define __CRTDECL __CLRCALL_PURE_OR_CDECL

#ifndef _VCRT_NOALIAS
#define _VCRT_NOALIAS __declspec(noalias)
#endif
#ifndef _VCRT_RESTRICT
#define _VCRT_RESTRICT __declspec(restrict)
#endif
#ifndef _VCRT_ALLOCATOR
#define _VCRT_ALLOCATOR __declspec(allocator)
#endif
#ifndef _VCRT_ALIGN
#define _VCRT_ALIGN(x) __declspec(align(x))
#endif
#ifndef _CRT_GUARDOVERFLOW
#define _CRT_GUARDOVERFLOW
#endif
#ifndef _VCRT_EXPORT_STD
#define _VCRT_EXPORT_STD
#endif

#ifndef _HAS_NODISCARD
#ifndef __has_cpp_attribute
#define _HAS_NODISCARD 0
#elif __has_cpp_attribute(nodiscard) >= 201603L
#define _HAS_NODISCARD 1
#else
#define _HAS_NODISCARD 0
#endif
#endif
#if _HAS_NODISCARD
#define _NODISCARD [[nodiscard]]
#else
#define _NODISCARD
#endif

#ifndef _MSVC_CONSTEXPR
#define _MSVC_CONSTEXPR
#endif

#ifndef _HAS_EXCEPTIONS
#define _HAS_EXCEPTIONS 1
#endif

#ifndef _HAS_CXX17
#if defined(_MSVC_LANG) && _MSVC_LANG > 201402L
#define _HAS_CXX17 1
#else
#define _HAS_CXX17 0
#endif
#endif
#ifndef _HAS_CXX20
#if _HAS_CXX17 && defined(_MSVC_LANG) && _MSVC_LANG > 201703L
#define _HAS_CXX20 1
#else
#define _HAS_CXX20 0
#endif
#endif
#ifndef _HAS_CXX23
#if _HAS_CXX20 && defined(_MSVC_LANG) && _MSVC_LANG > 202002L
#define _HAS_CXX23 1
#else
#define _HAS_CXX23 0
#endif
#endif

#ifndef _CRT_HAS_CXX17
#if defined(_MSVC_LANG) && _MSVC_LANG > 201402L
#define _CRT_HAS_CXX17 1
#else
#define _CRT_HAS_CXX17 0
#endif
#endif

#ifndef _UNALIGNED
#if defined _M_X64 || defined _M_ARM || defined _M_ARM64
#define _UNALIGNED __unaligned
#else
#define _UNALIGNED
#endif
#endif

#ifndef _CRT_DEPRECATE_TEXT
#define _CRT_DEPRECATE_TEXT(_Text) __declspec(deprecated(_Text))
#endif
#ifndef _CRT_INSECURE_DEPRECATE
#if defined(_CRT_SECURE_NO_DEPRECATE) || defined(_CRT_SECURE_NO_WARNINGS)
#define _CRT_INSECURE_DEPRECATE(_Replacement)
#else
#define _CRT_INSECURE_DEPRECATE(_Replacement)                                                  \
  _CRT_DEPRECATE_TEXT("This function or variable may be unsafe. Consider using " #_Replacement \
                      " instead.")
#endif
#endif
#ifndef _CRT_INSECURE_DEPRECATE_MEMORY
#define _CRT_INSECURE_DEPRECATE_MEMORY(_Replacement)
#endif

#ifdef __cplusplus
#ifndef __crt_countof
extern "C++" template <typename _CountofType, size_t _SizeOfArray>
char (*__countof_helper(_UNALIGNED _CountofType (&_Array)[_SizeOfArray]))[_SizeOfArray];
#define __crt_countof(_Array) (sizeof(*__countof_helper(_Array)) + 0)
#endif
#else
#ifndef __crt_countof
#define __crt_countof(_Array) (sizeof(_Array) / sizeof(_Array[0]))
#endif
#endif

#if defined __cplusplus
typedef bool __vcrt_bool;
#else
typedef _Bool __vcrt_bool;
#endif

#ifndef _CRT_SECURE_CPP_NOTHROW
#define _CRT_SECURE_CPP_NOTHROW throw()
#endif

_CRT_BEGIN_C_HEADER
#ifndef _UINTPTR_T_DEFINED
#define _UINTPTR_T_DEFINED
typedef unsigned __int64 uintptr_t;
#endif
#ifndef _INTPTR_T_DEFINED
#define _INTPTR_T_DEFINED
typedef __int64 intptr_t;
#endif
#ifndef _SIZE_T_DEFINED
#define _SIZE_T_DEFINED
typedef unsigned __int64 size_t;
#endif
#ifndef _PTRDIFF_T_DEFINED
#define _PTRDIFF_T_DEFINED
typedef __int64 ptrdiff_t;
#endif

void __cdecl __security_init_cookie(void);
void __cdecl __security_check_cookie(uintptr_t _StackCookie);
__declspec(noreturn) void __cdecl __report_gsfailure(uintptr_t _StackCookie);
extern uintptr_t __security_cookie;
_CRT_END_C_HEADER

#endif  // _VCRUNTIME_H
