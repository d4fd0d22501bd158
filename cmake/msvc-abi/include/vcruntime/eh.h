// eh.h -- minimal stand-in (C++ exception-handling support declarations).

#pragma once
#ifndef _INC_EH
#define _INC_EH
// The runtime's own order: what comes first sets up what the rest need.
// clang-format off
#include <vcruntime.h>
#include <corecrt_terminate.h>
// clang-format on
#ifndef __cplusplus
#error "eh.h is only for C++!"
#endif
#pragma pack(push, _CRT_PACKING)
extern "C" {
typedef void(__cdecl* unexpected_handler)(void);
typedef void(__cdecl* unexpected_function)(void);
struct _EXCEPTION_POINTERS;
typedef void(__cdecl* _se_translator_function)(unsigned int, struct _EXCEPTION_POINTERS*);

_VCRTIMP __declspec(noreturn) void __cdecl unexpected(void) noexcept(false);
_VCRTIMP unexpected_handler __cdecl set_unexpected(
    unexpected_handler _NewUnexpectedHandler) noexcept;
_VCRTIMP unexpected_handler __cdecl _get_unexpected(void) noexcept;
_VCRTIMP _se_translator_function __cdecl _set_se_translator(
    _se_translator_function _NewSETranslator);
class type_info;
_VCRTIMP int __cdecl _is_exception_typeof(type_info const& _Type,
                                          struct _EXCEPTION_POINTERS* _ExceptionPtr);
_VCRTIMP bool __cdecl __uncaught_exception(void);
_VCRTIMP int __cdecl __uncaught_exceptions(void);
}
#pragma pack(pop)
#endif
