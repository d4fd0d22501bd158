#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs one of them over its corpus. By hand only: CI
# replays the corpora in the ordinary test runs instead.
# Usage: [FUZZ_JOBS=N] scripts/fuzz.sh TARGET [RUNS] [-- extra libFuzzer options]
#   TARGET: config, world, rcon, pe (the doctor's PE reader), pdb (its program database reader) or dump (report's reader); RUNS: executions (default 10000000).
#   FUZZ_JOBS=2 scripts/fuzz.sh world 10000000
# The world target runs in processes of 500 000 executions each (FUZZ_JOBS of them side by side),
# under the undefined-behaviour sanitizer; WORLD_SANITIZERS=address,undefined adds the address
# checks, for shorter runs: their bookkeeping grows with every load of the library.
# New inputs land in build/fuzz*/corpus/TARGET (copy the useful ones into fuzz/corpus/TARGET, after
# minimising: build/fuzz/bin/TARGET_fuzzer -merge=1 fuzz/corpus/TARGET build/fuzz/corpus/TARGET).
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."

target=${1:?usage: scripts/fuzz.sh config|world|rcon|pe|pdb|dump [RUNS] [-- libFuzzer options]}
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
sanitizers=address,undefined
build=build/fuzz
flags="-fsanitize=fuzzer-no-link"
if [[ $target == world ]]; then
  sanitizers=${WORLD_SANITIZERS:-undefined}
  build=build/fuzz-world
  [[ $sanitizers == undefined ]] && build=build/fuzz-world-ubsan
  flags=""
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++-14 -DKESTROVAR_FUZZ=ON \
  -DKESTROVAR_WORLD_FUZZ_SANITIZERS="$sanitizers" \
  -DCMAKE_CXX_FLAGS="$flags -fsanitize=$sanitizers -fno-sanitize-recover=all -fno-omit-frame-pointer" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=$sanitizers" \
  -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=$sanitizers"
cmake --build "$build" --target "${target}_fuzzer" Kestrovar -j 2

mkdir -p "$build/corpus/$target"
export LSAN_OPTIONS="suppressions=$PWD/cmake/lsan-suppressions.txt:print_suppressions=0"
# The configuration target writes the file for every input: a memory-backed folder, where there is
# one.
[[ -d /dev/shm && -w /dev/shm ]] && export TMPDIR=/dev/shm
fuzzer=("$build/bin/${target}_fuzzer" -print_final_stats=1)
corpus=("$build/corpus/$target" "fuzz/corpus/$target")
start=$SECONDS

case $target in
  config) "${fuzzer[@]}" -runs="$runs" -max_len=600 "$@" "${corpus[@]}" ;;
  # RCON inputs span several packets of up to 4 KiB each.
  rcon) "${fuzzer[@]}" -runs="$runs" -max_len=9000 "$@" "${corpus[@]}" ;;
  # Libraries cut to their headers and first tables; the corpus holds whole small ones too.
  pe) "${fuzzer[@]}" -runs="$runs" -max_len=65536 "$@" "${corpus[@]}" ;;
  pdb) "${fuzzer[@]}" -runs="$runs" -max_len=80000 "$@" "${corpus[@]}" ;;
  # Dump files and logs: a few dozen lines are enough to reach every rule.
  dump) "${fuzzer[@]}" -runs="$runs" -max_len=4000 "$@" "${corpus[@]}" ;;
  world)
    # Inputs of up to 50 operations, each from a new map; longer runs are the soak's. Every load of
    # the library leaves a little behind by design (the host keeps the log formatter whose code
    # went with it), so a process runs a bounded share and the next one starts afresh from the
    # grown corpus. The scheduler's per-feature bookkeeping cost more than its guidance is worth
    # here (-entropic=0). With the address checks, leak checks would take most of the time and
    # cannot name the frames of a released library: the sanitizer build's replay checks for leaks.
    chunk=500000
    jobs=${FUZZ_JOBS:-1}
    share=$(((runs + jobs - 1) / jobs))
    options=(-max_len=150 -entropic=0 -detect_leaks=0)
    [[ $sanitizers == *address* ]] && export ASAN_OPTIONS=detect_leaks=0:malloc_context_size=5:quarantine_size_mb=16
    fuzz_share() {
      local job=$1 left=$share done=0
      shift
      while ((left > 0)); do
        local n=$((left < chunk ? left : chunk))
        "${fuzzer[@]}" -runs="$n" "${options[@]}" "$@" "${corpus[@]}" \
          >"$build/world-job$job.log" 2>&1 || {
          echo "fuzz: world job $job failed after $done runs; see $build/world-job$job.log" >&2
          return 1
        }
        left=$((left - n)) done=$((done + n))
        echo "fuzz: world job $job: $done of $share runs, $((SECONDS - start)) s"
      done
    }
    pids=()
    for ((job = 1; job <= jobs; ++job)); do
      fuzz_share "$job" "$@" &
      pids+=($!)
    done
    failed=0
    for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
    ((failed == 0)) || exit 1
    runs=$((share * jobs))
    ;;
esac
echo "fuzz: $target: $runs runs in $((SECONDS - start)) s"
