// crt_wmain.cpp -- console EXE entry point for int wmain(int, wchar_t**, wchar_t**).
#include "crt_internal.h"
extern "C" int wmain(int, wchar_t**, wchar_t**);
extern "C" int __cdecl wmainCRTStartup(void) {
  _set_app_type(1);
  _configure_wide_argv(1);
  _initialize_wide_environment();
  if (!__msvcabi_init_module(0)) {
    exit(255);
  }
  int r = wmain(*__p___argc(), *__p___wargv(), _get_initial_wide_environment());
  exit(r);
}
