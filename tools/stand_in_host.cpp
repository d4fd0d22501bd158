#include "tools/stand_in_host.h"

#if !defined(_WIN32)

bool StandInHostReady() { return true; }

#else

#include <windows.h>
// windows.h first: delayimp.h uses its types.
#include <delayimp.h>

#include <cstdlib>
#include <string>

#include "tools/common/exit_codes.h"
#include "tools/common/output.h"
#include "tools/doctor/doctor_checks.h"

namespace {

bool RunsUnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string ModulePath(HMODULE module) {
  char path[MAX_PATH * 2] = {};
  const DWORD length = GetModuleFileNameA(module, path, sizeof path);
  return length == 0 || length >= sizeof path ? std::string("version.dll") : std::string(path);
}

// The library the first call into the host loads (the delay-load helper below takes the same one:
// a second LoadLibrary of a loaded name returns it). Null, said why, when it is not ours.
HMODULE LoadStandIn(const char* name) {
  const HMODULE module = LoadLibraryA(name);
  if (module == nullptr) {
    PrintError(std::string("kestrovar: cannot load ") + name + ", the stand-in host (error " +
               std::to_string(GetLastError()) +
               "): put the version.dll that came with kestrovar.exe back beside it");
    return nullptr;
  }
  if (GetProcAddress(module, kStandInMarker) != nullptr) return module;
  if (RunsUnderWine()) {
    PrintError(
        "kestrovar: Wine chose its built-in version.dll over the stand-in host beside "
        "kestrovar.exe.\n"
        "Set WINEDLLOVERRIDES=version=n,b for serve and simulate, e.g. "
        "WINEDLLOVERRIDES=version=n,b wine kestrovar.exe simulate");
  } else {
    PrintError("kestrovar: " + ModulePath(module) +
               " is not the stand-in host: put the version.dll that came with kestrovar.exe "
               "back beside it");
  }
  FreeLibrary(module);
  return nullptr;
}

}  // namespace

bool StandInHostReady() {
  const HMODULE module = LoadStandIn("version.dll");
  if (module == nullptr) return false;
  // The handle stays loaded: the calls that follow use the very same library.
  return true;
}

// The linkers' delay-load thunks (MinGW's delay import library, lld-link's /DELAYLOAD) call this on
// the first call of each host function: it binds that function's slot and returns its address.
// Ours rather than a runtime's: the Microsoft-ABI sysroot has no delayimp.lib, and a library that
// is not the stand-in must end with the sentence above, not with a crash report of the first call.
extern "C" IMAGE_DOS_HEADER __ImageBase;

extern "C" FARPROC WINAPI __delayLoadHelper2(PCImgDelayDescr descriptor, FARPROC* slot) {
  const auto* base = reinterpret_cast<const char*>(&__ImageBase);
  // Both linkers write relative addresses (attribute bit 1); the old absolute form never occurs
  // in a 64-bit image.
  const auto at = [base](DWORD rva) { return base + rva; };
  auto* module = reinterpret_cast<HMODULE*>(const_cast<char*>(at(descriptor->rvaHmod)));
  const char* dll = at(descriptor->rvaDLLName);
  if (*module == nullptr) {
    const HMODULE loaded = LoadStandIn(dll);
    if (loaded == nullptr) std::exit(kExitUnusableInput);
    // Two threads may both get here: each holds a reference of the same library.
    *module = loaded;
  }
  const auto* iat = reinterpret_cast<const FARPROC*>(at(descriptor->rvaIAT));
  const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(at(descriptor->rvaINT));
  const IMAGE_THUNK_DATA& entry = names[slot - iat];
  const char* name =
      IMAGE_SNAP_BY_ORDINAL(entry.u1.Ordinal)
          ? reinterpret_cast<const char*>(static_cast<ULONG_PTR>(IMAGE_ORDINAL(entry.u1.Ordinal)))
          : reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(
                at(static_cast<DWORD>(entry.u1.AddressOfData)))
                ->Name;
  const FARPROC function = GetProcAddress(*module, name);
  if (function == nullptr) {
    PrintError(std::string("kestrovar: ") + ModulePath(*module) + " lacks " +
               (IMAGE_SNAP_BY_ORDINAL(entry.u1.Ordinal) ? "a function" : name) +
               ": it belongs to another build of kestrovar.exe; put the version.dll that came "
               "with this one beside it");
    std::exit(kExitUnusableInput);
  }
  *slot = function;
  return function;
}

#endif
