// Overlay for mingw-w64's stdlib.h: the UCRT's <stdlib.h> adds C++ overloads
// abs(long), abs(long long), div(long, long), div(long long, long long).
#include_next <stdlib.h>
#if defined(__cplusplus) && !defined(_MSVC_ABI_STDLIB_OVERLAY)
#define _MSVC_ABI_STDLIB_OVERLAY
extern "C++" {
inline long __cdecl abs(long const _X) noexcept { return labs(_X); }
inline long long __cdecl abs(long long const _X) noexcept { return llabs(_X); }
inline ldiv_t __cdecl div(long const _A1, long const _A2) noexcept { return ldiv(_A1, _A2); }
inline lldiv_t __cdecl div(long long const _A1, long long const _A2) noexcept {
  return lldiv(_A1, _A2);
}
}
#endif
