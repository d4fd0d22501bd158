#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs one of them over its corpus. By hand only: CI
# replays the corpora in the ordinary test runs instead.
# Usage: scripts/fuzz.sh TARGET [RUNS] [-- extra libFuzzer options]
#   TARGET: config, world or rcon; RUNS: executions (default 10000000).
#   scripts/fuzz.sh world 10000000
# New inputs land in build/fuzz*/corpus/TARGET (copy the useful ones into fuzz/corpus/TARGET, after
# minimising: build/fuzz/bin/TARGET_fuzzer -merge=1 fuzz/corpus/TARGET build/fuzz/corpus/TARGET).
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."

target=${1:?usage: scripts/fuzz.sh config|world|rcon [RUNS] [-- libFuzzer options]}
runs=${2:-10000000}
shift $(($# < 2 ? $# : 2))
[[ ${1:-} == -- ]] && shift

packages=(clang-14 libfuzzer-14-dev cmake ninja-build nlohmann-json3-dev libspdlog-dev libfmt-dev
          googletest libgtest-dev libgmock-dev libcli11-dev)
missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "installed" ]] || missing+=("$package")
done
if ((${#missing[@]} > 0)); then
  echo "fuzz: installing ${missing[*]}"
  sudo=()
  [[ $(id -u) -eq 0 ]] || sudo=(sudo)
  "${sudo[@]}" apt-get update
  "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi

# The configuration target has the plug-in's code linked in: the whole tree is instrumented for
# coverage. The world target loads and unloads the plug-in library, and libFuzzer cannot let an
# instrumented library go: there only the stand-in and the driver are instrumented (fuzz/
# CMakeLists.txt), in a build folder of their own; the plug-in runs under the sanitizers alone.
sanitizers="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
build=build/fuzz
flags="-fsanitize=fuzzer-no-link $sanitizers"
if [[ $target == world ]]; then
  build=build/fuzz-world
  flags=$sanitizers
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++-14 -DKESTROVAR_FUZZ=ON \
  -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined"
cmake --build "$build" --target "${target}_fuzzer" Kestrovar -j 2

mkdir -p "$build/corpus/$target"
export LSAN_OPTIONS="suppressions=$PWD/cmake/lsan-suppressions.txt:print_suppressions=0"
start=$SECONDS
# RCON inputs span several packets of up to 4 KiB each. A world input of 50 operations starts from
# a new map each time; longer runs are the soak's.
max_len=600
options=()
case $target in
  rcon) max_len=9000 ;;
  world)
    max_len=150
    # An input that unloads the library leaves the host's abandoned log formatter behind (by
    # design), and a leak check after each such input would take most of the time; the sanitizer
    # build's replay of the corpus checks for leaks.
    options+=(-detect_leaks=0) ;;
esac
# The configuration target writes the file for every input: a memory-backed folder, where there is
# one.
[[ -d /dev/shm && -w /dev/shm ]] && export TMPDIR=/dev/shm
"$build/bin/${target}_fuzzer" -runs="$runs" -max_len=$max_len -print_final_stats=1 \
  "${options[@]}" "$@" "$build/corpus/$target" "fuzz/corpus/$target"
echo "fuzz: $target: $runs runs in $((SECONDS - start)) s"
