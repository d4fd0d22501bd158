// crt_new.cpp -- replaceable global operator new/delete on top of the UCRT heap
// (malloc/free/_aligned_malloc from ucrtbase.dll, shared by all modules).

#include <vcruntime_new.h>
#include <vcruntime_exception.h>
#include "crt_internal.h"

namespace {
[[noreturn]] void throw_bad_alloc(size_t size) {
    if (size == static_cast<size_t>(-1)) {
        throw std::bad_array_new_length{};
    }
    throw std::bad_alloc{};
}
} // namespace

void* __CRTDECL operator new(size_t size) {
    for (;;) {
        if (void* p = malloc(size ? size : 1)) {
            return p;
        }
        if (_callnewh(size) == 0) {
            throw_bad_alloc(size);
        }
    }
}
void* __CRTDECL operator new(size_t size, std::nothrow_t const&) noexcept {
    try {
        return operator new(size);
    } catch (...) {
        return nullptr;
    }
}
void* __CRTDECL operator new[](size_t size) {
    return operator new(size);
}
void* __CRTDECL operator new[](size_t size, std::nothrow_t const& nt) noexcept {
    return operator new(size, nt);
}
void __CRTDECL operator delete(void* p) noexcept {
    free(p);
}
void __CRTDECL operator delete(void* p, std::nothrow_t const&) noexcept {
    operator delete(p);
}
void __CRTDECL operator delete[](void* p) noexcept {
    operator delete(p);
}
void __CRTDECL operator delete[](void* p, std::nothrow_t const&) noexcept {
    operator delete[](p);
}
void __CRTDECL operator delete(void* p, size_t) noexcept {
    operator delete(p);
}
void __CRTDECL operator delete[](void* p, size_t) noexcept {
    operator delete[](p);
}

void* __CRTDECL operator new(size_t size, std::align_val_t al) {
    for (;;) {
        if (void* p = _aligned_malloc(size ? size : 1, static_cast<size_t>(al))) {
            return p;
        }
        if (_callnewh(size) == 0) {
            throw_bad_alloc(size);
        }
    }
}
void* __CRTDECL operator new(size_t size, std::align_val_t al, std::nothrow_t const&) noexcept {
    try {
        return operator new(size, al);
    } catch (...) {
        return nullptr;
    }
}
void* __CRTDECL operator new[](size_t size, std::align_val_t al) {
    return operator new(size, al);
}
void* __CRTDECL operator new[](size_t size, std::align_val_t al, std::nothrow_t const& nt) noexcept {
    return operator new(size, al, nt);
}
void __CRTDECL operator delete(void* p, std::align_val_t) noexcept {
    _aligned_free(p);
}
void __CRTDECL operator delete(void* p, std::align_val_t al, std::nothrow_t const&) noexcept {
    operator delete(p, al);
}
void __CRTDECL operator delete[](void* p, std::align_val_t al) noexcept {
    operator delete(p, al);
}
void __CRTDECL operator delete[](void* p, std::align_val_t al, std::nothrow_t const&) noexcept {
    operator delete(p, al);
}
void __CRTDECL operator delete(void* p, size_t, std::align_val_t al) noexcept {
    operator delete(p, al);
}
void __CRTDECL operator delete[](void* p, size_t, std::align_val_t al) noexcept {
    operator delete(p, al);
}
