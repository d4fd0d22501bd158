// crt_isa.cpp -- __isa_available / __isa_enabled (CPU feature levels the STL's
// vectorised algorithms consult), filled in by a C initializer at module start.

// The runtime's own order: what comes first sets up what the rest need.
// clang-format off
#include "crt_internal.h"
#include <intrin.h>
// clang-format on

extern "C" {
int __isa_available = 1;  // __ISA_AVAILABLE_SSE2
long __isa_enabled = (1 << 0) | (1 << 1);
int __favor = 0;

static int __cdecl __msvcabi_isa_init(void) {
  int r[4];
  __cpuid(r, 0);
  const int max_leaf = r[0];
  __cpuid(r, 1);
  const int ecx1 = r[2];
  int level = 1;
  long enabled = (1 << 0) | (1 << 1);
  if (ecx1 & (1 << 20)) {  // SSE4.2
    level = 2;
    enabled |= 1 << 2;
    const bool osxsave = (ecx1 & (1 << 27)) != 0;
    const bool avx = (ecx1 & (1 << 28)) != 0;
    if (osxsave && avx && (_xgetbv(0) & 6) == 6) {
      level = 3;
      enabled |= 1 << 3;
      if (max_leaf >= 7) {
        __cpuidex(r, 7, 0);
        const int ebx7 = r[1];
        if (ebx7 & (1 << 9)) {  // ERMSB
          enabled |= 1 << 4;
        }
        if (ebx7 & (1 << 5)) {  // AVX2
          level = 5;
          enabled |= 1 << 5;
        }
      }
    }
  }
  __isa_available = level;
  __isa_enabled = enabled;
  return 0;
}

#pragma section(".CRT$XIC", long, read)
__declspec(allocate(".CRT$XIC")) _PIFV __msvcabi_isa_init_entry = __msvcabi_isa_init;
}
