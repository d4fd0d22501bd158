/* ucrt_wchar.c -- <wchar.h> functions the UCRT implements as header inlines
 * (ucrtbase.dll does not export them). Weak, so header inlines win.
 */
#include <stddef.h>
typedef unsigned short wch;
typedef struct _iobuf FILE;
#define W __attribute__((weak))
W const wch* __cdecl wmemchr(const wch* s, wch c, size_t n) {
  for (; n; ++s, --n) {
    if (*s == c) {
      return s;
    }
  }
  return NULL;
}
W int __cdecl wmemcmp(const wch* a, const wch* b, size_t n) {
  for (; n; ++a, ++b, --n) {
    if (*a != *b) {
      return *a < *b ? -1 : 1;
    }
  }
  return 0;
}
W wch* __cdecl wmemcpy(wch* d, const wch* s, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    d[i] = s[i];
  }
  return d;
}
W wch* __cdecl wmemmove(wch* d, const wch* s, size_t n) {
  if (d < s) {
    for (size_t i = 0; i < n; ++i) {
      d[i] = s[i];
    }
  } else {
    for (size_t i = n; i; --i) {
      d[i - 1] = s[i - 1];
    }
  }
  return d;
}
W wch* __cdecl wmemset(wch* d, wch c, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    d[i] = c;
  }
  return d;
}
W int __cdecl fwide(FILE* f, int mode) {
  (void)f;
  return mode;
}
