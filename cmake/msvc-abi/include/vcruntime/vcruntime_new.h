// vcruntime_new.h -- global operator new/delete declarations, std::nothrow_t,
// std::align_val_t, placement new.
#pragma once
#ifndef _VCRUNTIME_NEW_H
#define _VCRUNTIME_NEW_H
#include <vcruntime.h>
#pragma pack(push, _CRT_PACKING)
#pragma push_macro("new")
#undef new
extern "C++" {
namespace std {
#ifdef __cpp_aligned_new
_VCRT_EXPORT_STD enum class align_val_t : size_t {};
#endif
_VCRT_EXPORT_STD struct nothrow_t { explicit nothrow_t() = default; };
_VCRT_EXPORT_STD extern nothrow_t const nothrow;
}  // namespace std

[[nodiscard]] _VCRT_ALLOCATOR void* __CRTDECL operator new(size_t _Size);
[[nodiscard]] _VCRT_ALLOCATOR void* __CRTDECL operator new(size_t _Size,
                                                           std::nothrow_t const&) noexcept;
[[nodiscard]] _VCRT_ALLOCATOR void* __CRTDECL operator new[](size_t _Size);
[[nodiscard]] _VCRT_ALLOCATOR void* __CRTDECL operator new[](size_t _Size,
                                                             std::nothrow_t const&) noexcept;
void __CRTDECL operator delete(void* _Block) noexcept;
void __CRTDECL operator delete(void* _Block, std::nothrow_t const&) noexcept;
void __CRTDECL operator delete[](void* _Block) noexcept;
void __CRTDECL operator delete[](void* _Block, std::nothrow_t const&) noexcept;
void __CRTDECL operator delete(void* _Block, size_t _Size) noexcept;
void __CRTDECL operator delete[](void* _Block, size_t _Size) noexcept;
#ifdef __cpp_aligned_new
[[nodiscard]] _VCRT_ALLOCATOR void* __CRTDECL operator new(size_t _Size, std::align_val_t _Al);
[[nodiscard]] _VCRT_ALLOCATOR void* __CRTDECL operator new(size_t _Size, std::align_val_t _Al,
                                                           std::nothrow_t const&) noexcept;
[[nodiscard]] _VCRT_ALLOCATOR void* __CRTDECL operator new[](size_t _Size, std::align_val_t _Al);
[[nodiscard]] _VCRT_ALLOCATOR void* __CRTDECL operator new[](size_t _Size, std::align_val_t _Al,
                                                             std::nothrow_t const&) noexcept;
void __CRTDECL operator delete(void* _Block, std::align_val_t _Al) noexcept;
void __CRTDECL operator delete(void* _Block, std::align_val_t _Al, std::nothrow_t const&) noexcept;
void __CRTDECL operator delete[](void* _Block, std::align_val_t _Al) noexcept;
void __CRTDECL operator delete[](void* _Block, std::align_val_t _Al,
                                 std::nothrow_t const&) noexcept;
void __CRTDECL operator delete(void* _Block, size_t _Size, std::align_val_t _Al) noexcept;
void __CRTDECL operator delete[](void* _Block, size_t _Size, std::align_val_t _Al) noexcept;
#endif

#ifndef __PLACEMENT_NEW_INLINE
#define __PLACEMENT_NEW_INLINE
[[nodiscard]] inline void* __CRTDECL operator new(size_t _Size, void* _Where) noexcept {
  (void)_Size;
  return _Where;
}
inline void __CRTDECL operator delete(void*, void*) noexcept {}
#endif
#ifndef __PLACEMENT_VEC_NEW_INLINE
#define __PLACEMENT_VEC_NEW_INLINE
[[nodiscard]] inline void* __CRTDECL operator new[](size_t _Size, void* _Where) noexcept {
  (void)_Size;
  return _Where;
}
inline void __CRTDECL operator delete[](void*, void*) noexcept {}
#endif
}  // extern "C++"
#pragma pop_macro("new")
#pragma pack(pop)
#endif
