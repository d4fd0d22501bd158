// crt_main.cpp -- console EXE entry point for int main(int, char**, char**).
#include "crt_internal.h"
extern "C" int main(int, char**, char**);
extern "C" int __cdecl mainCRTStartup(void) {
  _set_app_type(1);           // _crt_console_app
  _configure_narrow_argv(1);  // _crt_argv_unexpanded_arguments
  _initialize_narrow_environment();
  if (!__msvcabi_init_module(0)) {
    exit(255);
  }
  int r = main(*__p___argc(), *__p___argv(), _get_initial_narrow_environment());
  exit(r);
}
