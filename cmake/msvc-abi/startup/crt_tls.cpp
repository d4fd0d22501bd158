// crt_tls.cpp -- TLS directory (_tls_used/_tls_index), dynamic thread_local
// initialisation (.CRT$XD*) and destruction (__tlregdtor), and the
// thread-safe local static helpers (_Init_thread_*) clang-cl emits calls to.

#include "crt_internal.h"

extern "C" {
typedef void(__stdcall* PIMAGE_TLS_CALLBACK_)(void*, DWORD, void*);

unsigned long _tls_index = 0;

#pragma section(".tls", read, write)
#pragma section(".tls$ZZZ", read, write)
__declspec(allocate(".tls")) char _tls_start = 0;
__declspec(allocate(".tls$ZZZ")) char _tls_end = 0;

#pragma section(".CRT$XLA", long, read)
#pragma section(".CRT$XLZ", long, read)
__declspec(allocate(".CRT$XLA")) PIMAGE_TLS_CALLBACK_ __xl_a = nullptr;
__declspec(allocate(".CRT$XLZ")) PIMAGE_TLS_CALLBACK_ __xl_z = nullptr;

struct TlsDirectory64 {
  unsigned long long StartAddressOfRawData;
  unsigned long long EndAddressOfRawData;
  unsigned long long AddressOfIndex;
  unsigned long long AddressOfCallBacks;
  unsigned long SizeOfZeroFill;
  unsigned long Characteristics;
};
#pragma section(".rdata$T", long, read)
__declspec(allocate(".rdata$T")) extern const TlsDirectory64 _tls_used = {
    (unsigned long long)&_tls_start,
    (unsigned long long)&_tls_end,
    (unsigned long long)&_tls_index,
    (unsigned long long)(&__xl_a + 1),
    0,
    0,
};

// ---- dynamic initialisation of thread_local variables --------------------------
#pragma section(".CRT$XDA", long, read)
#pragma section(".CRT$XDZ", long, read)
__declspec(allocate(".CRT$XDA")) _PVFV __xd_a = nullptr;
__declspec(allocate(".CRT$XDZ")) _PVFV __xd_z = nullptr;

// clang-cl (MSVC >= 19.25 mode) initialises thread_locals on demand: each access
// checks the thread's __tls_guard and calls __dyn_tls_on_demand_init() first.
thread_local bool __tls_guard = false;

void __stdcall __dyn_tls_init(void*, DWORD reason, void*) {
  if (reason != DLL_THREAD_ATTACH_ || __tls_guard) {
    return;
  }
  __tls_guard = true;
  for (_PVFV* p = &__xd_a + 1; p != &__xd_z; ++p) {
    if (*p) {
      (*p)();
    }
  }
}

void __cdecl __dyn_tls_on_demand_init(void) noexcept {
  __dyn_tls_init(nullptr, DLL_THREAD_ATTACH_, nullptr);
}

// ---- destruction of thread_local variables -------------------------------------
struct TlsDtorNode {
  TlsDtorNode* next;
  _PVFV func;
};
static thread_local TlsDtorNode* __msvcabi_tls_dtors = nullptr;

int __cdecl __tlregdtor(_PVFV func) {
  TlsDtorNode* n = (TlsDtorNode*)malloc(sizeof(TlsDtorNode));
  if (!n) {
    return -1;
  }
  n->func = func;
  n->next = __msvcabi_tls_dtors;
  __msvcabi_tls_dtors = n;
  return 0;
}

static void __stdcall __msvcabi_dyn_tls_dtor(void*, DWORD reason, void*) {
  if (reason != DLL_THREAD_DETACH_ && reason != DLL_PROCESS_DETACH_) {
    return;
  }
  while (TlsDtorNode* n = __msvcabi_tls_dtors) {
    __msvcabi_tls_dtors = n->next;
    n->func();
    free(n);
  }
}

#pragma section(".CRT$XLC", long, read)
#pragma section(".CRT$XLD", long, read)
__declspec(allocate(".CRT$XLC")) PIMAGE_TLS_CALLBACK_ __msvcabi_xl_c = __dyn_tls_init;
__declspec(allocate(".CRT$XLD")) PIMAGE_TLS_CALLBACK_ __msvcabi_xl_d = __msvcabi_dyn_tls_dtor;

// ---- thread-safe local statics ("magic statics") -------------------------------
int _Init_global_epoch = (-2147483647 - 1);
thread_local int _Init_thread_epoch = (-2147483647 - 1);
static SRWLOCK_ __msvcabi_init_lock = {nullptr};
static CONDITION_VARIABLE_ __msvcabi_init_cv = {nullptr};

void __cdecl _Init_thread_header(int* const once) noexcept {
  AcquireSRWLockExclusive(&__msvcabi_init_lock);
  if (*once == 0) {
    *once = -1;  // this thread initialises it
  } else {
    while (*once == -1) {
      SleepConditionVariableSRW(&__msvcabi_init_cv, &__msvcabi_init_lock, 0xFFFFFFFFu, 0);
      if (*once == 0) {  // previous initialiser threw; retry here
        *once = -1;
        ReleaseSRWLockExclusive(&__msvcabi_init_lock);
        return;
      }
    }
    _Init_thread_epoch = _Init_global_epoch;
  }
  ReleaseSRWLockExclusive(&__msvcabi_init_lock);
}

void __cdecl _Init_thread_abort(int* const once) noexcept {
  AcquireSRWLockExclusive(&__msvcabi_init_lock);
  *once = 0;
  ReleaseSRWLockExclusive(&__msvcabi_init_lock);
  WakeAllConditionVariable(&__msvcabi_init_cv);
}

void __cdecl _Init_thread_footer(int* const once) noexcept {
  AcquireSRWLockExclusive(&__msvcabi_init_lock);
  ++_Init_global_epoch;
  *once = _Init_global_epoch;
  _Init_thread_epoch = _Init_global_epoch;
  ReleaseSRWLockExclusive(&__msvcabi_init_lock);
  WakeAllConditionVariable(&__msvcabi_init_cv);
}
}  // extern "C"
