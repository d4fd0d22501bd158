// crt_new.cpp -- replaceable global operator new/delete on top of the UCRT heap
// (malloc/free/_aligned_malloc from ucrtbase.dll, shared by all modules).
//
// All of them are weak: a program that replaces some (operator new and delete, say) still takes
// the others from here, and the ones from here that call operator new or delete reach its
// replacements. Strong definitions would clash with the replacements as soon as this object is
// linked in for one of the others.

// The runtime's own order: what comes first sets up what the rest need.
// clang-format off
#include <vcruntime_new.h>
#include <vcruntime_exception.h>
#include "crt_internal.h"
// clang-format on

#define REPLACEABLE __attribute__((weak))

namespace {
[[noreturn]] void throw_bad_alloc(size_t size) {
  if (size == static_cast<size_t>(-1)) {
    throw std::bad_array_new_length{};
  }
  throw std::bad_alloc{};
}
}  // namespace

REPLACEABLE void* __CRTDECL operator new(size_t size) {
  for (;;) {
    if (void* p = malloc(size ? size : 1)) {
      return p;
    }
    if (_callnewh(size) == 0) {
      throw_bad_alloc(size);
    }
  }
}
REPLACEABLE void* __CRTDECL operator new(size_t size, std::nothrow_t const&) noexcept {
  try {
    return operator new(size);
  } catch (...) {
    return nullptr;
  }
}
REPLACEABLE void* __CRTDECL operator new[](size_t size) { return operator new(size); }
REPLACEABLE void* __CRTDECL operator new[](size_t size, std::nothrow_t const& nt) noexcept {
  return operator new(size, nt);
}
REPLACEABLE void __CRTDECL operator delete(void* p) noexcept { free(p); }
REPLACEABLE void __CRTDECL operator delete(void* p, std::nothrow_t const&) noexcept {
  operator delete(p);
}
REPLACEABLE void __CRTDECL operator delete[](void* p) noexcept { operator delete(p); }
REPLACEABLE void __CRTDECL operator delete[](void* p, std::nothrow_t const&) noexcept {
  operator delete[](p);
}
REPLACEABLE void __CRTDECL operator delete(void* p, size_t) noexcept { operator delete(p); }
REPLACEABLE void __CRTDECL operator delete[](void* p, size_t) noexcept { operator delete[](p); }

REPLACEABLE void* __CRTDECL operator new(size_t size, std::align_val_t al) {
  for (;;) {
    if (void* p = _aligned_malloc(size ? size : 1, static_cast<size_t>(al))) {
      return p;
    }
    if (_callnewh(size) == 0) {
      throw_bad_alloc(size);
    }
  }
}
REPLACEABLE void* __CRTDECL operator new(size_t size, std::align_val_t al,
                                         std::nothrow_t const&) noexcept {
  try {
    return operator new(size, al);
  } catch (...) {
    return nullptr;
  }
}
REPLACEABLE void* __CRTDECL operator new[](size_t size, std::align_val_t al) {
  return operator new(size, al);
}
REPLACEABLE void* __CRTDECL operator new[](size_t size, std::align_val_t al,
                                           std::nothrow_t const& nt) noexcept {
  return operator new(size, al, nt);
}
REPLACEABLE void __CRTDECL operator delete(void* p, std::align_val_t) noexcept { _aligned_free(p); }
REPLACEABLE void __CRTDECL operator delete(void* p, std::align_val_t al,
                                           std::nothrow_t const&) noexcept {
  operator delete(p, al);
}
REPLACEABLE void __CRTDECL operator delete[](void* p, std::align_val_t al) noexcept {
  operator delete(p, al);
}
REPLACEABLE void __CRTDECL operator delete[](void* p, std::align_val_t al,
                                             std::nothrow_t const&) noexcept {
  operator delete(p, al);
}
REPLACEABLE void __CRTDECL operator delete(void* p, size_t, std::align_val_t al) noexcept {
  operator delete(p, al);
}
REPLACEABLE void __CRTDECL operator delete[](void* p, size_t, std::align_val_t al) noexcept {
  operator delete(p, al);
}
