// internal_shared.h -- the few VC-runtime-internal helpers that some of the
// Microsoft STL's import-library sources (locale0.cpp, filesystem.cpp, print.cpp)
// use.
#pragma once
// The runtime's own order: what comes first sets up what the rest need.
// clang-format off
#include <vcruntime.h>
#include <stdlib.h>
#include <crtdbg.h>
#include <locale.h>
// clang-format on
#ifdef __cplusplus
#include <vcruntime_new.h>
#endif

#ifndef _CRT_BLOCK
#define _CRT_BLOCK 2
#endif
#define _malloc_crt malloc
#define _calloc_crt calloc
#define _realloc_crt realloc
#define _free_crt free

extern "C" __declspec(dllimport) unsigned int __cdecl ___lc_codepage_func(void);

#ifdef __cplusplus
template <typename T>
class __crt_unique_heap_ptr {
 public:
  __crt_unique_heap_ptr() noexcept : _p(nullptr) {}
  explicit __crt_unique_heap_ptr(T* p) noexcept : _p(p) {}
  __crt_unique_heap_ptr(__crt_unique_heap_ptr&& o) noexcept : _p(o.detach()) {}
  __crt_unique_heap_ptr(const __crt_unique_heap_ptr&) = delete;
  __crt_unique_heap_ptr& operator=(const __crt_unique_heap_ptr&) = delete;
  __crt_unique_heap_ptr& operator=(__crt_unique_heap_ptr&& o) noexcept {
    if (this != &o) {
      attach(o.detach());
    }
    return *this;
  }
  ~__crt_unique_heap_ptr() noexcept { free(_p); }
  explicit operator bool() const noexcept { return _p != nullptr; }
  T* get() const noexcept { return _p; }
  T* detach() noexcept {
    T* p = _p;
    _p = nullptr;
    return p;
  }
  void attach(T* p) noexcept {
    free(_p);
    _p = p;
  }
  T* release() noexcept { return detach(); }

 private:
  T* _p;
};
#define _malloc_crt_t(t, n) \
  (__crt_unique_heap_ptr<t>(static_cast<t*>(_malloc_crt(sizeof(t) * (n)))))
#define _calloc_crt_t(t, n) (__crt_unique_heap_ptr<t>(static_cast<t*>(_calloc_crt((n), sizeof(t)))))
#endif
