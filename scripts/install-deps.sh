#!/usr/bin/env bash
# Installs the Debian packages that building and testing Kestrovar needs, and only those that are
# missing; when everything is there, apt is not touched at all.
set -euo pipefail

packages=(
  g++
  cmake
  ninja-build
  nlohmann-json3-dev
  libspdlog-dev
  libfmt-dev
  googletest
  libgtest-dev
  libgmock-dev
  libbenchmark-dev
  libcli11-dev
  libasio-dev
  g++-mingw-w64-x86-64-posix
  gcc-mingw-w64-x86-64-posix
  binutils-mingw-w64-x86-64
  wine64
  clang-format
  # clang-cl-19, lld-link-19, llvm-pdbutil-19 and llvm-undname-19: the doctor's test game builds
  # and their program databases, and the tools its readers are held against.
  clang-19
  clang-tools-19
  lld-19
  llvm-19
  gnuplot-nox
  python3-prometheus-client
  # promtool, which the live test holds watch's metrics against.
  prometheus
  valgrind
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
  if [[ "$status" != "installed" ]]; then
    missing+=("$package")
  fi
done

if ((${#missing[@]} == 0)); then
  echo "install-deps: all build packages are present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
if [[ $(id -u) -eq 0 ]]; then
  sudo=()
elif command -v sudo >/dev/null 2>&1; then
  sudo=(sudo)
  # Without a terminal (CI) a password prompt would only hang.
  if [[ "${CI:-}" == "true" || ! -t 0 ]]; then
    sudo=(sudo -n)
  fi
else
  echo "install-deps: not root and no sudo; install these packages first: ${missing[*]}" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q "${missing[@]}"
