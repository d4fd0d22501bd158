// corecrt_terminate.h -- minimal stand-in: terminate handlers exported by ucrtbase.

#pragma once
#ifndef _INC_CORECRT_TERMINATE
#define _INC_CORECRT_TERMINATE
#include <vcruntime.h>
_CRT_BEGIN_C_HEADER
typedef void(__cdecl* terminate_handler)(void);
typedef void(__cdecl* terminate_function)(void);
_ACRTIMP __declspec(noreturn) void __cdecl abort(void);
_ACRTIMP __declspec(noreturn) void __cdecl terminate(void) throw();
_ACRTIMP terminate_handler __cdecl set_terminate(terminate_handler _NewTerminateHandler) throw();
_ACRTIMP terminate_handler __cdecl _get_terminate(void);
_CRT_END_C_HEADER
#endif
