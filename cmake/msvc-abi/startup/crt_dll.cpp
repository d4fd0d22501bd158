// crt_dll.cpp -- DLL entry point; calls the user's DllMain (or a default one).
#include "crt_internal.h"
extern "C" BOOL __stdcall DllMain(HINSTANCE, DWORD, LPVOID);
extern "C" BOOL __stdcall __msvcabi_default_DllMain(HINSTANCE, DWORD, LPVOID) { return 1; }
#pragma comment(linker, "/alternatename:DllMain=__msvcabi_default_DllMain")

extern "C" BOOL __stdcall _DllMainCRTStartup(HINSTANCE inst, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH_) {
    if (!__msvcabi_init_module(1)) {
      return 0;
    }
    BOOL ok = DllMain(inst, reason, reserved);
    if (!ok) {
      DllMain(inst, DLL_PROCESS_DETACH_, reserved);
      __msvcabi_fini_dll();
    }
    return ok;
  }
  if (reason == DLL_PROCESS_DETACH_) {
    BOOL ok = DllMain(inst, reason, reserved);
    __msvcabi_fini_dll();
    return ok;
  }
  return DllMain(inst, reason, reserved);
}
