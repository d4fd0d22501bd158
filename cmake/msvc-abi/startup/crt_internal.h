// crt_internal.h -- private declarations for the msvc-abi startup library.
// Freestanding:
// it declares the few ucrtbase/kernel32 entry points it uses itself.
#pragma once
typedef unsigned long long size_t_;
typedef void(__cdecl* _PVFV)(void);
typedef int(__cdecl* _PIFV)(void);
typedef int(__cdecl* _onexit_t)(void);
typedef struct _onexit_table_t {
  _PVFV* _first;
  _PVFV* _last;
  _PVFV* _end;
} _onexit_table_t;
typedef int BOOL;
typedef unsigned long DWORD;
typedef void* HANDLE;
typedef struct HINSTANCE__* HINSTANCE;
typedef void* LPVOID;
typedef struct {
  void* Ptr;
} SRWLOCK_, CONDITION_VARIABLE_;

#define IMP __declspec(dllimport)
#ifdef __cplusplus
extern "C" {
#endif
// ucrtbase.dll
IMP void __cdecl _set_app_type(int);
IMP int __cdecl _configure_narrow_argv(int);
IMP int __cdecl _configure_wide_argv(int);
IMP int __cdecl _initialize_narrow_environment(void);
IMP int __cdecl _initialize_wide_environment(void);
IMP char** __cdecl _get_initial_narrow_environment(void);
IMP wchar_t** __cdecl _get_initial_wide_environment(void);
IMP char* __cdecl _get_narrow_winmain_command_line(void);
IMP wchar_t* __cdecl _get_wide_winmain_command_line(void);
IMP int* __cdecl __p___argc(void);
IMP char*** __cdecl __p___argv(void);
IMP wchar_t*** __cdecl __p___wargv(void);
IMP void __cdecl _initterm(_PVFV*, _PVFV*);
IMP int __cdecl _initterm_e(_PIFV*, _PIFV*);
IMP __declspec(noreturn) void __cdecl exit(int);
IMP int __cdecl _crt_atexit(_PVFV);
IMP int __cdecl _crt_at_quick_exit(_PVFV);
IMP int __cdecl _initialize_onexit_table(_onexit_table_t*);
IMP int __cdecl _register_onexit_function(_onexit_table_t*, _onexit_t);
IMP int __cdecl _execute_onexit_table(_onexit_table_t*);
IMP void* __cdecl malloc(size_t_);
IMP void* __cdecl calloc(size_t_, size_t_);
IMP void __cdecl free(void*);
IMP void* __cdecl _aligned_malloc(size_t_, size_t_);
IMP void __cdecl _aligned_free(void*);
IMP int __cdecl _callnewh(size_t_);
IMP __declspec(noreturn) void __cdecl abort(void);
// kernel32.dll
IMP BOOL __stdcall QueryPerformanceCounter(long long*);
IMP DWORD __stdcall GetCurrentProcessId(void);
IMP DWORD __stdcall GetCurrentThreadId(void);
IMP unsigned long long __stdcall GetTickCount64(void);
IMP void __stdcall AcquireSRWLockExclusive(SRWLOCK_*);
IMP void __stdcall ReleaseSRWLockExclusive(SRWLOCK_*);
IMP BOOL __stdcall SleepConditionVariableSRW(CONDITION_VARIABLE_*, SRWLOCK_*, DWORD, unsigned long);
IMP void __stdcall WakeAllConditionVariable(CONDITION_VARIABLE_*);
IMP HINSTANCE __stdcall GetModuleHandleW(const wchar_t*);

// this library
extern _PIFV __xi_a[], __xi_z[];
extern _PVFV __xc_a[], __xc_z[];
extern _PVFV __xp_a[], __xp_z[];
extern _PVFV __xt_a[], __xt_z[];
extern int __msvcabi_module_is_dll;
extern _onexit_table_t __msvcabi_atexit_table;
extern _onexit_table_t __msvcabi_at_quick_exit_table;
void __cdecl __security_init_cookie(void);
int __cdecl __msvcabi_init_module(int is_dll);
void __cdecl __msvcabi_fini_dll(void);
#ifdef __cplusplus
}
#endif

#define DLL_PROCESS_DETACH_ 0
#define DLL_PROCESS_ATTACH_ 1
#define DLL_THREAD_ATTACH_ 2
#define DLL_THREAD_DETACH_ 3
