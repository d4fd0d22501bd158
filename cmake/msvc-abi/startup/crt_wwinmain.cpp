#include "crt_internal.h"
extern "C" int __stdcall wWinMain(HINSTANCE, HINSTANCE, wchar_t*, int);
extern "C" int __cdecl wWinMainCRTStartup(void) {
  _set_app_type(2);
  _configure_wide_argv(1);
  _initialize_wide_environment();
  if (!__msvcabi_init_module(0)) {
    exit(255);
  }
  exit(wWinMain(GetModuleHandleW(nullptr), nullptr, _get_wide_winmain_command_line(), 10));
}
