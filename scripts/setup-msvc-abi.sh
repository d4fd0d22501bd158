#!/usr/bin/env bash
# Builds the sysroot of the msvc-abi preset: what clang-cl and lld-link need to make Windows x64
# binaries with the Microsoft C++ ABI (name mangling, class layouts, Microsoft's STL) that run on
# msvcp140.dll, vcruntime140.dll and ucrtbase.dll. The result is cached; when nothing it is made
# of has changed, this returns at once.
#
# Usage: scripts/setup-msvc-abi.sh [SYSROOT]      (default: build/msvc-abi-sysroot)
# Exit status: 0 the sysroot is ready; 3 Microsoft's STL cannot be had here (the one-line reason
# is on stderr, starting "msvc-abi unavailable:"); anything else is a failure.
#
# What it is made of:
#   clang-cl, lld-link, llvm-lib, llvm-dlltool   Debian clang-19, clang-tools-19 (clang-cl),
#                                                 lld-19, llvm-19 (installed here)
#   C++ standard library headers and the sources  Microsoft's open-source STL, tag vs-2022-17.14.
#     of its import library's static part         Never part of this repository; taken from
#                                                 $KESTROVAR_MSVC_STL, else ../shared/msvc-abi/STL
#                                                 beside the checkout, else cloned into build/.
#   C runtime and Windows API headers             Debian mingw-w64-common, used in UCRT mode
#   stand-ins for the VC runtime headers, the     ours: cmake/msvc-abi/
#     start-up library and the build tools
#   import libraries                              made from the export tables of Wine's PE DLLs
#                                                 (the names only) with llvm-dlltool
#
# The cache key is the STL's content, this script, cmake/msvc-abi/ and the versions of the
# compiler, Wine and mingw-w64: a change to any of them rebuilds the sysroot.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
sysroot=${1:-$root/build/msvc-abi-sysroot}
mkdir -p "$(dirname "$sysroot")"
sysroot=$(cd "$(dirname "$sysroot")" && pwd)/$(basename "$sysroot")
own=$root/cmake/msvc-abi
stl_tag=vs-2022-17.14
stl_commit=1f6e5b16ec02216665624c1e762f3732605cf2b4
stl_url=https://github.com/microsoft/STL.git
llvm=-19
wine_pe=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
mingw_include=/usr/share/mingw-w64/include

say() { echo "setup-msvc-abi: $*"; }
unavailable() {
  echo "msvc-abi unavailable: $*" >&2
  exit 3
}

# --- Debian packages -----------------------------------------------------------------------------
packages=(clang$llvm clang-tools$llvm lld$llvm llvm$llvm mingw-w64-common mingw-w64-x86-64-dev wine64 python3)
missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
  [[ "$status" == installed ]] || missing+=("$package")
done
if ((${#missing[@]} > 0)); then
  say "installing ${missing[*]}"
  sudo=()
  if [[ $(id -u) -ne 0 ]]; then
    command -v sudo >/dev/null 2>&1 || {
      echo "setup-msvc-abi: not root and no sudo; install these packages first: ${missing[*]}" >&2
      exit 1
    }
    sudo=(sudo)
    [[ "${CI:-}" == true || ! -t 0 ]] && sudo=(sudo -n)
  fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 update -q
  "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 install -y -q --no-install-recommends \
    "${missing[@]}"
fi

# --- Microsoft's STL -----------------------------------------------------------------------------
has_stl() { [[ -f "$1/stl/inc/yvals_core.h" && -d "$1/stl/src" ]]; }
clone=$root/build/msvc-stl
if [[ -n "${KESTROVAR_MSVC_STL:-}" ]]; then
  has_stl "$KESTROVAR_MSVC_STL" ||
    unavailable "KESTROVAR_MSVC_STL=$KESTROVAR_MSVC_STL holds no stl/inc/yvals_core.h"
  stl=$KESTROVAR_MSVC_STL
elif has_stl "$root/../shared/msvc-abi/STL"; then
  stl=$root/../shared/msvc-abi/STL
elif has_stl "$clone"; then
  stl=$clone
else
  command -v git >/dev/null 2>&1 || unavailable "no STL source found and no git to clone $stl_url"
  say "cloning Microsoft's STL, tag $stl_tag"
  rm -rf "$clone.part"
  mkdir -p "$root/build"
  if ! timeout 300 git -c advice.detachedHead=false clone --quiet --depth 1 --branch "$stl_tag" \
    "$stl_url" "$clone.part" 2>/dev/null; then
    rm -rf "$clone.part"
    unavailable "no STL source found (set KESTROVAR_MSVC_STL) and $stl_url cannot be reached"
  fi
  got=$(git -C "$clone.part" rev-parse HEAD)
  if [[ "$got" != "$stl_commit" ]]; then
    echo "setup-msvc-abi: tag $stl_tag is commit $got, not the pinned $stl_commit" >&2
    exit 1
  fi
  mv "$clone.part" "$clone"
  stl=$clone
fi
stl=$(cd "$stl" && pwd)

# --- Up to date? ---------------------------------------------------------------------------------
content_hash() { (cd "$1" && find "${@:2}" -type f -print0 | LC_ALL=C sort -z | xargs -0 sha256sum); }
key=$({
  content_hash "$stl" stl/inc stl/src
  content_hash "$root" scripts/setup-msvc-abi.sh cmake/msvc-abi
  clang-cl$llvm --version | head -n 1
  dpkg-query -W wine64 mingw-w64-common
} | sha256sum | cut -d ' ' -f 1)
if [[ -f "$sysroot/key" && "$(cat "$sysroot/key")" == "$key" ]]; then
  say "sysroot up to date ($sysroot)"
  exit 0
fi

start=$SECONDS
say "building the sysroot in $sysroot (STL from $stl)"
work=$sysroot.part
rm -rf "$work"
mkdir -p "$work"/{include,lib,obj/startup,obj/stl,defs}

# Headers: the STL's, our stand-ins for the VC runtime's, and our fixes over mingw-w64's. Copied
# with new times, never kept ones: whatever a build made with the old sysroot (a precompiled
# header above all) must be older than every header, so that the build makes it again.
cp -R "$stl/stl/inc" "$work/include/stl"
cp "$stl/LICENSE.txt" "$work/include/stl/LICENSE.txt"
cp -R "$own/include/vcruntime" "$own/include/mingw-overlay" "$work/include/"
# Windows code spells header and library names in any letter case (<Windows.h>, Ws2_32.lib).
python3 "$own/tools/mkvfs.py" "$work/include/vfs-ci.yaml" "$mingw_include"

includes=(/X -imsvc "$work/include/stl" -imsvc "$work/include/vcruntime"
  -imsvc "$work/include/mingw-overlay" -imsvc "$mingw_include"
  -vfsoverlay "$work/include/vfs-ci.yaml" -D__MSVCRT_VERSION__=0xE00 -D_UCRT)
compile=(clang-cl$llvm /nologo /c --target=x86_64-pc-windows-msvc -fms-compatibility-version=19.44
  /O2 /MD "${includes[@]}")

# (Source paths go after "--": clang-cl would read "/work/..." as its option /wo.)
# The start-up library: entry points, module initialisation, TLS, thread-safe statics, operator
# new/delete, type_info's vtable, the stack probe and the printf family the UCRT keeps inline.
for source in "$own"/startup/*.cpp; do
  "${compile[@]}" /GS- /Zl /EHsc /std:c++17 /Fo"$work/obj/startup/$(basename "${source%.*}").obj" \
    -- "$source"
done
for source in "$own"/startup/*.c; do
  # wmemchr and the like are defined over the UCRT's wchar_t-less view of them.
  "${compile[@]}" /GS- /Zl -Wno-incompatible-library-redeclaration \
    /Fo"$work/obj/startup/$(basename "${source%.*}").obj" -- "$source"
done

# Import libraries of the C and C++ runtimes, from Wine's builds of those DLLs.
defs=$work/defs
def_of() { python3 "$own/tools/mkdef.py" "$1" "$2" "llvm-readobj$llvm" ${3:-} >/dev/null; }
implib() { llvm-dlltool$llvm -m i386:x86-64 -d "$1" -l "$2"; }
runtime=(msvcp140 msvcp140_1 msvcp140_2 msvcp140_atomic_wait vcruntime140 vcruntime140_1 ucrtbase)
for dll in "${runtime[@]}"; do
  def_of "$wine_pe/$dll.dll" "$defs/$dll.def"
done
# ucrtbase.lib leaves out what vcruntime140.dll exports (the mem*/str* functions live there) and
# what the start-up library defines; oldnames.lib maps the POSIX names onto the UCRT's.
python3 "$own/tools/runtime_defs.py" "$defs" "$own/tools/oldnames.txt"
for dll in "${runtime[@]}" oldnames; do
  implib "$defs/$dll.def" "$work/obj/$dll.lib"
done
# The Windows API libraries that CMake and code of this kind ask for (an unused one adds no import).
# Not version.lib: version.dll is ours.
for dll in kernel32 kernelbase ntdll user32 gdi32 winspool comdlg32 advapi32 shell32 ole32 oleaut32 \
  shlwapi ws2_32 mswsock iphlpapi dbghelp psapi bcrypt crypt32 secur32 userenv; do
  for file in "$wine_pe/$dll.dll" "$wine_pe/$dll.drv" ""; do
    [[ -f "$file" ]] && break
  done
  [[ -n "$file" ]] || continue
  def_of "$file" "$defs/$dll.def" "$(basename "$file")"
  implib "$defs/$dll.def" "$work/lib/$dll.lib"
done
printf 'LIBRARY api-ms-win-core-synch-l1-2-0.dll\nEXPORTS\n    WaitOnAddress\n    WakeByAddressAll\n    WakeByAddressSingle\n' \
  >"$defs/synchronization.def"
implib "$defs/synchronization.def" "$work/lib/synchronization.lib"
llvm-lib$llvm /nologo /out:"$work/lib/uuid.lib" /usr/x86_64-w64-mingw32/lib/libuuid.a

# What Microsoft's msvcprt.lib adds to the import stubs: the STL's statically linked sources.
stl_flags=(/Zl /EHsc /std:c++latest /permissive- /Zc:threadSafeInit- -D_CRTBLD -D_VCRT_ALLOW_INTERNALS
  -D_HAS_OLD_IOSTREAMS_MEMBERS=1 -D_ENFORCE_ONLY_CORE_HEADERS -Wno-format)
stl_sources=(asan_noop charconv format locale0_implib nothrow print sharedmutex stacktrace
  syserror_import_lib xcharconv_ryu_tables xcharconv_tables_double xcharconv_tables_float xonce2)
printf '%s\n' "${stl_sources[@]}" |
  xargs -P 2 -I{} "${compile[@]}" "${stl_flags[@]}" /Fo"$work/obj/stl/{}.obj" -- "$stl/stl/src/{}.cpp"
# filesystem.cpp needs a few Windows SDK declarations that mingw-w64 10 lacks.
"${compile[@]}" "${stl_flags[@]}" /FImsvc_abi_sdk_compat.h /Fo"$work/obj/stl/filesystem.obj" \
  -- "$stl/stl/src/filesystem.cpp"

# The libraries by the names that the compiler and the STL ask for (/DEFAULTLIB).
obj=$work/obj
llvm-lib$llvm /nologo /out:"$work/lib/msvcrt.lib" "$obj"/startup/crt_*.obj
llvm-lib$llvm /nologo /out:"$work/lib/vcruntime.lib" "$obj/vcruntime140.lib" "$obj/vcruntime140_1.lib"
llvm-lib$llvm /nologo /out:"$work/lib/ucrt.lib" "$obj/ucrtbase.lib" "$obj"/startup/ucrt_*.obj
llvm-lib$llvm /nologo /out:"$work/lib/msvcprt.lib" "$obj"/msvcp140*.lib "$obj"/stl/*.obj
cp "$obj/oldnames.lib" "$work/lib/oldnames.lib"
python3 "$own/tools/mkvfs.py" "$work/lib/vfs-ci.yaml" "$work/lib"
# The overlays name files by their absolute paths: make them point at the final place.
sed -i "s#$work/#$sysroot/#g" "$work/include/vfs-ci.yaml" "$work/lib/vfs-ci.yaml"
rm -rf "$work/obj" "$work/defs"

echo "$key" >"$work/key"
rm -rf "$sysroot"
mv "$work" "$sysroot"
say "sysroot ready after $((SECONDS - start)) s"
