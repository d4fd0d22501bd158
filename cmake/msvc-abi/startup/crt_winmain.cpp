// crt_winmain.cpp -- GUI EXE entry points for WinMain / wWinMain.
#include "crt_internal.h"
extern "C" int __stdcall WinMain(HINSTANCE, HINSTANCE, char*, int);
extern "C" int __cdecl WinMainCRTStartup(void) {
  _set_app_type(2);  // _crt_gui_app
  _configure_narrow_argv(1);
  _initialize_narrow_environment();
  if (!__msvcabi_init_module(0)) {
    exit(255);
  }
  exit(WinMain(GetModuleHandleW(nullptr), nullptr, _get_narrow_winmain_command_line(),
               10 /*SW_SHOWDEFAULT*/));
}
