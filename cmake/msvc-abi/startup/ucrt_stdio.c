/* ucrt_stdio.c -- the printf/scanf family that the UCRT (ucrtbase.dll) does not
 * export: in the UCRT they are header inlines over __stdio_common_*().
 * Freestanding (no CRT headers). */
#include <stdarg.h>
#include <stddef.h>

typedef struct _iobuf FILE;
typedef struct __crt_locale_pointers* _locale_t;
typedef unsigned short wchar;
#define IMP __declspec(dllimport)
#define W __attribute__((weak))
IMP FILE* __cdecl __acrt_iob_func(unsigned);
IMP int __cdecl __stdio_common_vfprintf(unsigned long long, FILE*, const char*, _locale_t, va_list);
IMP int __cdecl __stdio_common_vfprintf_s(unsigned long long, FILE*, const char*, _locale_t,
                                          va_list);
IMP int __cdecl __stdio_common_vsprintf(unsigned long long, char*, size_t, const char*, _locale_t,
                                        va_list);
IMP int __cdecl __stdio_common_vsprintf_s(unsigned long long, char*, size_t, const char*, _locale_t,
                                          va_list);
IMP int __cdecl __stdio_common_vsnprintf_s(unsigned long long, char*, size_t, size_t, const char*,
                                           _locale_t, va_list);
IMP int __cdecl __stdio_common_vfwprintf(unsigned long long, FILE*, const wchar*, _locale_t,
                                         va_list);
IMP int __cdecl __stdio_common_vswprintf(unsigned long long, wchar*, size_t, const wchar*,
                                         _locale_t, va_list);
IMP int __cdecl __stdio_common_vswprintf_s(unsigned long long, wchar*, size_t, const wchar*,
                                           _locale_t, va_list);
IMP int __cdecl __stdio_common_vfscanf(unsigned long long, FILE*, const char*, _locale_t, va_list);
IMP int __cdecl __stdio_common_vsscanf(unsigned long long, const char*, size_t, const char*,
                                       _locale_t, va_list);
IMP int __cdecl __stdio_common_vfwscanf(unsigned long long, FILE*, const wchar*, _locale_t,
                                        va_list);
IMP int __cdecl __stdio_common_vswscanf(unsigned long long, const wchar*, size_t, const wchar*,
                                        _locale_t, va_list);

/* Options as in a default MSVC build (legacy wide specifiers, like the
 * VC startup code sets them). */
#define PF_LEGACY_VSPRINTF_NULL_TERMINATION (1ULL << 0)
#define PF_STANDARD_SNPRINTF_BEHAVIOR (1ULL << 1)
#define PF_LEGACY_WIDE_SPECIFIERS (1ULL << 2)
#define SF_SECURECRT (1ULL << 0)
#define SF_LEGACY_WIDE_SPECIFIERS (1ULL << 1)
#define PO PF_LEGACY_WIDE_SPECIFIERS
#define SO SF_LEGACY_WIDE_SPECIFIERS
#define STDOUT __acrt_iob_func(1)
#define STDIN __acrt_iob_func(0)
#define NEG1(r) ((r) < 0 ? -1 : (r))

/* ---- narrow printf ---- */
W int __cdecl vfprintf(FILE* f, const char* fmt, va_list ap) {
  return __stdio_common_vfprintf(PO, f, fmt, NULL, ap);
}
W int __cdecl vfprintf_s(FILE* f, const char* fmt, va_list ap) {
  return __stdio_common_vfprintf_s(PO, f, fmt, NULL, ap);
}
W int __cdecl vprintf(const char* fmt, va_list ap) { return vfprintf(STDOUT, fmt, ap); }
W int __cdecl vprintf_s(const char* fmt, va_list ap) { return vfprintf_s(STDOUT, fmt, ap); }
W int __cdecl vsnprintf(char* b, size_t n, const char* fmt, va_list ap) {
  int r = __stdio_common_vsprintf(PO | PF_STANDARD_SNPRINTF_BEHAVIOR, b, n, fmt, NULL, ap);
  return NEG1(r);
}
W int __cdecl _vsnprintf(char* b, size_t n, const char* fmt, va_list ap) {
  int r = __stdio_common_vsprintf(PO | PF_LEGACY_VSPRINTF_NULL_TERMINATION, b, n, fmt, NULL, ap);
  return NEG1(r);
}
W int __cdecl vsprintf(char* b, const char* fmt, va_list ap) {
  return _vsnprintf(b, (size_t)-1, fmt, ap);
}
W int __cdecl _vscprintf(const char* fmt, va_list ap) {
  int r = __stdio_common_vsprintf(PO | PF_STANDARD_SNPRINTF_BEHAVIOR, NULL, 0, fmt, NULL, ap);
  return NEG1(r);
}
W int __cdecl vsprintf_s(char* b, size_t n, const char* fmt, va_list ap) {
  int r = __stdio_common_vsprintf_s(PO, b, n, fmt, NULL, ap);
  return NEG1(r);
}
W int __cdecl _vsnprintf_s(char* b, size_t n, size_t max, const char* fmt, va_list ap) {
  int r = __stdio_common_vsnprintf_s(PO, b, n, max, fmt, NULL, ap);
  return NEG1(r);
}
#define VARIADIC(ret, name, params, call) \
  W ret __cdecl name params {             \
    va_list ap;                           \
    va_start(ap, fmt);                    \
    ret r = call;                         \
    va_end(ap);                           \
    return r;                             \
  }
VARIADIC(int, fprintf, (FILE * f, const char* fmt, ...), vfprintf(f, fmt, ap))
VARIADIC(int, fprintf_s, (FILE * f, const char* fmt, ...), vfprintf_s(f, fmt, ap))
VARIADIC(int, printf, (const char* fmt, ...), vprintf(fmt, ap))
VARIADIC(int, printf_s, (const char* fmt, ...), vprintf_s(fmt, ap))
VARIADIC(int, sprintf, (char* b, const char* fmt, ...), vsprintf(b, fmt, ap))
VARIADIC(int, snprintf, (char* b, size_t n, const char* fmt, ...), vsnprintf(b, n, fmt, ap))
VARIADIC(int, _snprintf, (char* b, size_t n, const char* fmt, ...), _vsnprintf(b, n, fmt, ap))
VARIADIC(int, _scprintf, (const char* fmt, ...), _vscprintf(fmt, ap))
VARIADIC(int, sprintf_s, (char* b, size_t n, const char* fmt, ...), vsprintf_s(b, n, fmt, ap))
VARIADIC(int, _snprintf_s, (char* b, size_t n, size_t max, const char* fmt, ...),
         _vsnprintf_s(b, n, max, fmt, ap))

/* ---- wide printf ---- */
W int __cdecl vfwprintf(FILE* f, const wchar* fmt, va_list ap) {
  return __stdio_common_vfwprintf(PO, f, fmt, NULL, ap);
}
W int __cdecl vwprintf(const wchar* fmt, va_list ap) { return vfwprintf(STDOUT, fmt, ap); }
W int __cdecl vswprintf(wchar* b, size_t n, const wchar* fmt, va_list ap) {
  int r = __stdio_common_vswprintf(PO, b, n, fmt, NULL, ap);
  return NEG1(r);
}
W int __cdecl _vsnwprintf(wchar* b, size_t n, const wchar* fmt, va_list ap) {
  int r = __stdio_common_vswprintf(PO | PF_LEGACY_VSPRINTF_NULL_TERMINATION, b, n, fmt, NULL, ap);
  return NEG1(r);
}
W int __cdecl _vscwprintf(const wchar* fmt, va_list ap) {
  int r = __stdio_common_vswprintf(PO | PF_STANDARD_SNPRINTF_BEHAVIOR, NULL, 0, fmt, NULL, ap);
  return NEG1(r);
}
W int __cdecl vswprintf_s(wchar* b, size_t n, const wchar* fmt, va_list ap) {
  int r = __stdio_common_vswprintf_s(PO, b, n, fmt, NULL, ap);
  return NEG1(r);
}
VARIADIC(int, fwprintf, (FILE * f, const wchar* fmt, ...), vfwprintf(f, fmt, ap))
VARIADIC(int, wprintf, (const wchar* fmt, ...), vwprintf(fmt, ap))
VARIADIC(int, swprintf, (wchar * b, size_t n, const wchar* fmt, ...), vswprintf(b, n, fmt, ap))
VARIADIC(int, _snwprintf, (wchar * b, size_t n, const wchar* fmt, ...), _vsnwprintf(b, n, fmt, ap))
VARIADIC(int, _scwprintf, (const wchar* fmt, ...), _vscwprintf(fmt, ap))
VARIADIC(int, swprintf_s, (wchar * b, size_t n, const wchar* fmt, ...), vswprintf_s(b, n, fmt, ap))

/* ---- scanf ---- */
W int __cdecl vfscanf(FILE* f, const char* fmt, va_list ap) {
  return __stdio_common_vfscanf(SO, f, fmt, NULL, ap);
}
W int __cdecl vscanf(const char* fmt, va_list ap) { return vfscanf(STDIN, fmt, ap); }
W int __cdecl vsscanf(const char* s, const char* fmt, va_list ap) {
  return __stdio_common_vsscanf(SO, s, (size_t)-1, fmt, NULL, ap);
}
W int __cdecl vfscanf_s(FILE* f, const char* fmt, va_list ap) {
  return __stdio_common_vfscanf(SO | SF_SECURECRT, f, fmt, NULL, ap);
}
W int __cdecl vsscanf_s(const char* s, const char* fmt, va_list ap) {
  return __stdio_common_vsscanf(SO | SF_SECURECRT, s, (size_t)-1, fmt, NULL, ap);
}
W int __cdecl vfwscanf(FILE* f, const wchar* fmt, va_list ap) {
  return __stdio_common_vfwscanf(SO, f, fmt, NULL, ap);
}
W int __cdecl vswscanf(const wchar* s, const wchar* fmt, va_list ap) {
  return __stdio_common_vswscanf(SO, s, (size_t)-1, fmt, NULL, ap);
}
VARIADIC(int, fscanf, (FILE * f, const char* fmt, ...), vfscanf(f, fmt, ap))
VARIADIC(int, scanf, (const char* fmt, ...), vscanf(fmt, ap))
VARIADIC(int, sscanf, (const char* s, const char* fmt, ...), vsscanf(s, fmt, ap))
VARIADIC(int, fscanf_s, (FILE * f, const char* fmt, ...), vfscanf_s(f, fmt, ap))
VARIADIC(int, sscanf_s, (const char* s, const char* fmt, ...), vsscanf_s(s, fmt, ap))
VARIADIC(int, fwscanf, (FILE * f, const wchar* fmt, ...), vfwscanf(f, fmt, ap))
VARIADIC(int, swscanf, (const wchar* s, const wchar* fmt, ...), vswscanf(s, fmt, ap))
