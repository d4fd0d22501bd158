// crt_typeinfo.cpp -- the statically linked parts of type_info:
// its destructor, its vftable (referenced by every RTTI type descriptor) and the
// list head __std_type_info_name() caches undecorated names in.

// The runtime's own order: what comes first sets up what the rest need.
// clang-format off
#include <vcruntime_typeinfo.h>
#include "crt_internal.h"
// clang-format on

extern "C" {
// SLIST_HEADER-sized, 16-byte aligned list head.
struct alignas(16) __type_info_node {
  unsigned long long _Storage[2];
};
__type_info_node __type_info_root_node = {};
__declspec(dllimport) void __cdecl __std_type_info_destroy_list(__type_info_node*);
}

type_info::~type_info() noexcept {}

extern "C" void* __cdecl __msvcabi_type_info_scalar_deleting_dtor(void* self, unsigned int flags) {
  if (flags & 1) {
    ::operator delete(self);
  }
  return self;
}
// "const type_info::`vftable'"
extern "C" const void* const __msvcabi_type_info_vftable[1] __asm__("??_7type_info@@6B@") = {
    reinterpret_cast<const void*>(&__msvcabi_type_info_scalar_deleting_dtor)};

namespace {
struct TypeInfoListCleanup {
  ~TypeInfoListCleanup() { __std_type_info_destroy_list(&__type_info_root_node); }
} type_info_list_cleanup;
}  // namespace
