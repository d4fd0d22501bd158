// The library entry point on Windows. The runtime has built the module state before attach and
// destroys it after detach.

#include <windows.h>

#include "plugin/entry_point.h"

BOOL WINAPI DllMain(HINSTANCE /*module*/, DWORD reason, LPVOID /*reserved*/) {
  // The reserved pointer is not looked at: a process that ends without releasing the library still
  // gets its unload.
  if (reason == DLL_PROCESS_ATTACH) OnLibraryAttach();
  if (reason == DLL_PROCESS_DETACH) OnLibraryDetach();
  return TRUE;
}
