// vcruntime_exception.h -- std::exception with the Microsoft ABI layout
// (vptr + __std_exception_data{const char*, bool}), backed by
// vcruntime140.dll's __std_exception_copy/__std_exception_destroy.

#pragma once
#ifndef _VCRUNTIME_EXCEPTION_H
#define _VCRUNTIME_EXCEPTION_H
#include <eh.h>
#pragma pack(push, _CRT_PACKING)
extern "C" {
struct __std_exception_data {
  char const* _What;
  bool _DoFree;
};
_VCRTIMP void __cdecl __std_exception_copy(__std_exception_data const* _From,
                                           __std_exception_data* _To);
_VCRTIMP void __cdecl __std_exception_destroy(__std_exception_data* _Data);
}
extern "C++" {
namespace std {
_VCRT_EXPORT_STD class exception {
 public:
  exception() noexcept : _Data() {}
  explicit exception(char const* const _Message) noexcept : _Data() {
    __std_exception_data _InitData = {_Message, true};
    __std_exception_copy(&_InitData, &_Data);
  }
  exception(char const* const _Message, int) noexcept : _Data() { _Data._What = _Message; }
  exception(exception const& _Other) noexcept : _Data() {
    __std_exception_copy(&_Other._Data, &_Data);
  }
  exception& operator=(exception const& _Other) noexcept {
    if (this == &_Other) {
      return *this;
    }
    __std_exception_destroy(&_Data);
    __std_exception_copy(&_Other._Data, &_Data);
    return *this;
  }
  virtual ~exception() noexcept { __std_exception_destroy(&_Data); }
  [[nodiscard]] virtual char const* what() const {
    return _Data._What ? _Data._What : "Unknown exception";
  }

 private:
  __std_exception_data _Data;
};

_VCRT_EXPORT_STD class bad_exception : public exception {
 public:
  bad_exception() noexcept : exception("bad exception", 1) {}
};

_VCRT_EXPORT_STD class bad_alloc : public exception {
 public:
  bad_alloc() noexcept : exception("bad allocation", 1) {}

 private:
  friend class bad_array_new_length;
  bad_alloc(char const* const _Message) noexcept : exception(_Message, 1) {}
};

_VCRT_EXPORT_STD class bad_array_new_length : public bad_alloc {
 public:
  bad_array_new_length() noexcept : bad_alloc("bad array new length") {}
};
}  // namespace std
}  // extern "C++"
#pragma pack(pop)
#endif
