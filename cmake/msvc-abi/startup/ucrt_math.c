/* ucrt_math.c -- long double (== double under MSVC) math entry points that
 * the UCRT implements as header inlines, for headers that declare them extern.
 */
#define IMP __declspec(dllimport)
/* weak (COMDAT-any): header inline definitions of the same names win without conflicts */
#define W __attribute__((weak))
#define L1(f)                   \
  IMP double __cdecl f(double); \
  W long double __cdecl f##l(long double x) { return f((double)x); }
#define L2(f)                           \
  IMP double __cdecl f(double, double); \
  W long double __cdecl f##l(long double x, long double y) { return f((double)x, (double)y); }
IMP double __cdecl frexp(double, int*);
W long double __cdecl frexpl(long double x, int* e) { return frexp((double)x, e); }
IMP double __cdecl ldexp(double, int);
W long double __cdecl ldexpl(long double x, int e) { return ldexp((double)x, e); }
IMP double __cdecl modf(double, double*);
W long double __cdecl modfl(long double x, long double* ip) {
  double d;
  double r = modf((double)x, &d);
  *ip = d;
  return r;
}

/* One call per function; clang-format cannot lay out macro calls without semicolons. */
// clang-format off
L1(acos) L1(asin) L1(atan) L1(ceil) L1(cos) L1(cosh) L1(exp) L1(fabs) L1(floor) L1(log) L1(log10)
L1(sin) L1(sinh) L1(sqrt) L1(tan) L1(tanh)
L2(atan2) L2(fmod) L2(pow) L2(hypot)
