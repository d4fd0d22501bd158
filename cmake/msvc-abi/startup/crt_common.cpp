// crt_common.cpp -- module initialisation shared by EXE and DLL startups:
// .CRT$X* initializer tables, atexit/_onexit/at_quick_exit, /GS cookie, _fltused.

#include "crt_internal.h"
#pragma comment(lib, "vcruntime.lib")
#pragma comment(lib, "ucrt.lib")
#pragma comment(lib, "kernel32.lib")

#pragma section(".CRT$XIA", long, read)
#pragma section(".CRT$XIZ", long, read)
#pragma section(".CRT$XCA", long, read)
#pragma section(".CRT$XCZ", long, read)
#pragma section(".CRT$XPA", long, read)
#pragma section(".CRT$XPZ", long, read)
#pragma section(".CRT$XTA", long, read)
#pragma section(".CRT$XTZ", long, read)
extern "C" {
__declspec(allocate(".CRT$XIA")) _PIFV __xi_a[] = {nullptr};
__declspec(allocate(".CRT$XIZ")) _PIFV __xi_z[] = {nullptr};
__declspec(allocate(".CRT$XCA")) _PVFV __xc_a[] = {nullptr};
__declspec(allocate(".CRT$XCZ")) _PVFV __xc_z[] = {nullptr};
__declspec(allocate(".CRT$XPA")) _PVFV __xp_a[] = {nullptr};
__declspec(allocate(".CRT$XPZ")) _PVFV __xp_z[] = {nullptr};
__declspec(allocate(".CRT$XTA")) _PVFV __xt_a[] = {nullptr};
__declspec(allocate(".CRT$XTZ")) _PVFV __xt_z[] = {nullptr};

int _fltused = 0x9875;
// mingw-w64's <locale.h> references this when compiling with /J (unsigned char).
int __mingw_initcharmax = 0;

int __msvcabi_module_is_dll = 0;
_onexit_table_t __msvcabi_atexit_table;
_onexit_table_t __msvcabi_at_quick_exit_table;

// ---- /GS support -----------------------------------------------------------
#define DEFAULT_SECURITY_COOKIE 0x00002B992DDFA232ULL
unsigned long long __security_cookie = DEFAULT_SECURITY_COOKIE;
unsigned long long __security_cookie_complement = ~DEFAULT_SECURITY_COOKIE;

void __cdecl __security_init_cookie(void) {
  if (__security_cookie != DEFAULT_SECURITY_COOKIE) {
    return;
  }
  long long pc = 0;
  QueryPerformanceCounter(&pc);
  unsigned long long c = (unsigned long long)pc;
  c ^= (unsigned long long)GetCurrentProcessId() << 32;
  c ^= GetCurrentThreadId();
  c ^= GetTickCount64() << 16;
  c ^= (unsigned long long)&c;
  c &= 0x0000FFFFFFFFFFFFULL;
  if (c == DEFAULT_SECURITY_COOKIE || c == 0) {
    c = DEFAULT_SECURITY_COOKIE + 1;
  }
  __security_cookie = c;
  __security_cookie_complement = ~c;
}

void __cdecl __security_check_cookie(unsigned long long cookie) {
  if (cookie != __security_cookie) {
    __fastfail(2);  // FAST_FAIL_STACK_COOKIE_CHECK_FAILURE
  }
}

// ---- atexit ------------------------------------------------------------------
// EXE: registered with the process-wide UCRT table (run by exit()).
// DLL: registered in a module-local table, run at DLL_PROCESS_DETACH.
int __cdecl atexit(_PVFV func) {
  if (__msvcabi_module_is_dll) {
    return _register_onexit_function(&__msvcabi_atexit_table, (_onexit_t)func);
  }
  return _crt_atexit(func);
}

_onexit_t __cdecl _onexit(_onexit_t func) { return atexit((_PVFV)func) == 0 ? func : nullptr; }

int __cdecl at_quick_exit(_PVFV func) {
  if (__msvcabi_module_is_dll) {
    return _register_onexit_function(&__msvcabi_at_quick_exit_table, (_onexit_t)func);
  }
  return _crt_at_quick_exit(func);
}

// ---- module init / fini -------------------------------------------------------
int __cdecl __msvcabi_init_module(int is_dll) {
  __msvcabi_module_is_dll = is_dll;
  __security_init_cookie();
  if (is_dll) {
    _initialize_onexit_table(&__msvcabi_atexit_table);
    _initialize_onexit_table(&__msvcabi_at_quick_exit_table);
  }
  if (_initterm_e(__xi_a, __xi_z) != 0) {
    return 0;
  }
  _initterm(__xc_a, __xc_z);
  return 1;
}

void __cdecl __msvcabi_fini_dll(void) {
  _execute_onexit_table(&__msvcabi_atexit_table);
  _initterm(__xp_a, __xp_z);
  _initterm(__xt_a, __xt_z);
}
}  // extern "C"
