// Overlay for mingw-w64's _mingw.h when compiling in MSVC mode (clang-cl):
// mingw-w64 puts these attribute macros after declarators, where only the
// GNU __attribute__ spelling is valid, so use the spellings its GCC branch uses.
#pragma once
#include_next <_mingw.h>
#undef __MINGW_NOTHROW
#define __MINGW_NOTHROW __attribute__((__nothrow__))
#undef __MINGW_ATTRIB_NORETURN
#define __MINGW_ATTRIB_NORETURN __attribute__((__noreturn__))
#undef __MINGW_ATTRIB_CONST
#define __MINGW_ATTRIB_CONST __attribute__((__const__))
#undef __MINGW_ATTRIB_MALLOC
#define __MINGW_ATTRIB_MALLOC __attribute__((__malloc__))
#undef __MINGW_ATTRIB_PURE
#define __MINGW_ATTRIB_PURE __attribute__((__pure__))
#undef __MINGW_ATTRIB_NONNULL
#define __MINGW_ATTRIB_NONNULL(arg) __attribute__((__nonnull__(arg)))
#undef __MINGW_ATTRIB_UNUSED
#define __MINGW_ATTRIB_UNUSED __attribute__((__unused__))
#undef __MINGW_ATTRIB_USED
#define __MINGW_ATTRIB_USED __attribute__((__used__))
#undef __MINGW_ATTRIB_DEPRECATED
#define __MINGW_ATTRIB_DEPRECATED __attribute__((__deprecated__))
#undef __MINGW_ATTRIB_DEPRECATED_MSG
#define __MINGW_ATTRIB_DEPRECATED_MSG(x) __attribute__((__deprecated__(x)))
// _mingw.h defines __attribute__(x) away when __GNUC__ is not defined; clang-cl
// understands GNU attributes and its own intrinsics headers rely on them.
#undef __attribute__
