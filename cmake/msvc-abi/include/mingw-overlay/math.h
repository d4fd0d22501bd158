// Overlay for mingw-w64's math.h: in C++ the UCRT provides the C99 classification
// "macros" as functions, and the MS STL's <cmath> defines them as overloads, so
// mingw-w64's function-like macros must not leak into C++.
#include_next <math.h>
#ifdef __cplusplus
#undef fpclassify
#undef signbit
#undef isfinite
#undef isinf
#undef isnan
#undef isnormal
#undef isgreater
#undef isgreaterequal
#undef isless
#undef islessequal
#undef islessgreater
#undef isunordered
#ifndef _MSVC_ABI_MATH_OVERLAY
#define _MSVC_ABI_MATH_OVERLAY
// The UCRT's math.h provides these C++ overloads; with clang the STL's <cmath>
// adds the other classification functions itself.
extern "C++" {
inline int fpclassify(float _X) noexcept {
  return __builtin_fpclassify(FP_NAN, FP_INFINITE, FP_NORMAL, FP_SUBNORMAL, FP_ZERO, _X);
}
inline int fpclassify(double _X) noexcept {
  return __builtin_fpclassify(FP_NAN, FP_INFINITE, FP_NORMAL, FP_SUBNORMAL, FP_ZERO, _X);
}
inline int fpclassify(long double _X) noexcept {
  return __builtin_fpclassify(FP_NAN, FP_INFINITE, FP_NORMAL, FP_SUBNORMAL, FP_ZERO, _X);
}
inline bool signbit(float _X) noexcept { return __builtin_signbit(_X) != 0; }
inline bool signbit(double _X) noexcept { return __builtin_signbit(_X) != 0; }
inline bool signbit(long double _X) noexcept { return __builtin_signbit(_X) != 0; }
}
#endif
#endif
