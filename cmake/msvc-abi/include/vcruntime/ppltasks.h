// ppltasks.h -- minimal stand-in for the PPL tasks header: only what the
// Microsoft STL's <future> (std::async with launch::async) uses, i.e.
// Concurrency::task<void>, Concurrency::create_task and task<void>::wait().
// Each task runs on its own detached std::thread.
#pragma once
#ifndef _MSVC_ABI_PPLTASKS_H
#define _MSVC_ABI_PPLTASKS_H
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#pragma push_macro("new")
#undef new
namespace Concurrency {
namespace details {
struct _Msvc_abi_task_state {
  std::mutex _Mtx;
  std::condition_variable _Cv;
  bool _Done = false;
};
}  // namespace details

template <class _Ty>
class task;

template <>
class task<void> {
 public:
  task() = default;
  void wait() const {
    if (_State) {
      std::unique_lock<std::mutex> _Lock(_State->_Mtx);
      _State->_Cv.wait(_Lock, [this] { return _State->_Done; });
    }
  }
  bool is_done() const {
    if (!_State) {
      return false;
    }
    std::lock_guard<std::mutex> _Lock(_State->_Mtx);
    return _State->_Done;
  }

  template <class _Fn>
  friend task<void> create_task(_Fn&& _Func);

 private:
  std::shared_ptr<details::_Msvc_abi_task_state> _State;
};

template <class _Fn>
task<void> create_task(_Fn&& _Func) {
  task<void> _Task;
  auto _State = std::make_shared<details::_Msvc_abi_task_state>();
  _Task._State = _State;
  std::thread([_State, _Func = std::forward<_Fn>(_Func)]() mutable {
    _Func();
    {
      std::lock_guard<std::mutex> _Lock(_State->_Mtx);
      _State->_Done = true;
    }
    _State->_Cv.notify_all();
  }).detach();
  return _Task;
}
}  // namespace Concurrency
namespace concurrency = Concurrency;
#pragma pop_macro("new")
#endif
