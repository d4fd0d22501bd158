#!/usr/bin/env bash
# Builds the libFuzzer targets with clang 19 and its libFuzzer (Debian's clang-19 and
# libfuzzer-19-dev, which the script installs; clang 14 does not accept all of the project's C++20)
# and runs one of them over its corpus, or checks them all.
# Usage: [FUZZ_JOBS=N] scripts/fuzz.sh TARGET [RUNS] [-- extra libFuzzer options]
#        scripts/fuzz.sh check [SECONDS]
#   TARGET: one of the list `targets` below: config, world, rcon, pe (the doctor's PE reader),
#   pdb (its program database reader) or dump (report's reader); RUNS: executions (default 10000000).
#   FUZZ_JOBS=2 scripts/fuzz.sh world 10000000
#   `check` (scripts/run-tests.sh runs it) builds every target and runs each for SECONDS (default 3)
#   over its corpus: a line per target, "fuzz-check: N passed, N failed" last, exit status 1 when
#   one did not build or failed its run.
# The world target runs in processes of 500 000 executions each (FUZZ_JOBS of them side by side),
# under the undefined-behaviour sanitizer; WORLD_SANITIZERS=address,undefined adds the address
# checks, for shorter runs: their bookkeeping grows with every load of the library.
# New inputs land in build/fuzz*/corpus/TARGET (copy the useful ones into fuzz/corpus/TARGET, after
# minimising: build/fuzz/bin/TARGET_fuzzer -merge=1 fuzz/corpus/TARGET build/fuzz/corpus/TARGET).
# ccache is used where it is installed.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."

# Every target; a new one is added here and in fuzz/CMakeLists.txt (TARGET_fuzzer) with a corpus
# in fuzz/corpus/TARGET.
targets=(config world rcon pe pdb dump)

usage="usage: scripts/fuzz.sh $(IFS='|' && echo "${targets[*]}") [RUNS] [-- libFuzzer options] | check [SECONDS]"
target=${1:?$usage}
if [[ $target != check && " ${targets[*]} " != *" $target "* ]]; then
  echo "$usage" >&2
  exit 64
fi
runs=${2:-10000000}
[[ $target == check ]] && runs=${2:-3}
shift $(($# < 2 ? $# : 2))
[[ ${1:-} == -- ]] && shift

packages=(clang-19 libfuzzer-19-dev cmake ninja-build nlohmann-json3-dev libspdlog-dev libfmt-dev
          googletest libgtest-dev libgmock-dev libcli11-dev)
missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "installed" ]] || missing+=("$package")
done
if ((${#missing[@]} > 0)); then
  echo "fuzz: installing ${missing[*]}"
  sudo=()
  [[ $(id -u) -eq 0 ]] || sudo=(sudo -n)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -q
  "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

# The configuration target has the plug-in's code linked in: the whole tree is instrumented for
# coverage. The world target loads and unloads the plug-in library, and libFuzzer cannot let an
# instrumented library go: there only the stand-in and the driver are instrumented (fuzz/
# CMakeLists.txt), in a build folder of their own; the plug-in runs under the sanitizers alone.
# build_folder TARGET: the folder that builds TARGET.
world_sanitizers=${WORLD_SANITIZERS:-undefined}
build_folder() {
  if [[ $1 != world ]]; then
    echo build/fuzz
  elif [[ $world_sanitizers == undefined ]]; then
    echo build/fuzz-world-ubsan
  else
    echo build/fuzz-world
  fi
}

# configure FOLDER: configures the build folder of its targets. The benchmarks are not needed.
# clang 19 counts libstdc++ 12's own call of the deprecated std::get_temporary_buffer (in
# std::stable_sort) against the caller: the native builds still report deprecations.
configure() {
  local build=$1 sanitizers=address,undefined flags="-fsanitize=fuzzer-no-link"
  if [[ $build == build/fuzz-world* ]]; then
    sanitizers=$world_sanitizers
    flags=""
  fi
  mkdir -p "$(dirname "$build")"
  # Line tables are all a crash's stack needs, and they keep the check's first build short.
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -gline-tables-only -DNDEBUG" \
    -DCMAKE_CXX_COMPILER=clang++-19 "${launcher[@]}" -DKESTROVAR_FUZZ=ON \
    -DKESTROVAR_BENCHMARKS=OFF -DKESTROVAR_WORLD_FUZZ_SANITIZERS="$sanitizers" \
    -DCMAKE_CXX_FLAGS="$flags -fsanitize=$sanitizers -fno-sanitize-recover=all -fno-omit-frame-pointer -Wno-deprecated-declarations" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=$sanitizers" \
    -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=$sanitizers" >"$build.configure.log" 2>&1 || {
    cat "$build.configure.log" >&2
    return 1
  }
}

# fuzzer_command TARGET: sets `fuzzer` to the command that runs TARGET with its options.
fuzzer_command() {
  local options
  read -ra options <<<"$(target_options "$1")"
  fuzzer=(env)
  [[ $1 == world && $world_sanitizers == *address* ]] &&
    fuzzer+=(ASAN_OPTIONS=detect_leaks=0:malloc_context_size=5:quarantine_size_mb=16)
  fuzzer+=("$(build_folder "$1")/bin/${1}_fuzzer" -print_final_stats=1 "${options[@]}")
}

# target_options TARGET: the libFuzzer options that TARGET runs with.
target_options() {
  case $1 in
    config) echo -max_len=600 ;;
    # RCON inputs span several packets of up to 4 KiB each.
    rcon) echo -max_len=9000 ;;
    # Libraries cut to their headers and first tables; the corpus holds whole small ones too.
    pe) echo -max_len=65536 ;;
    # Small program databases, whole, cut and rewritten with small blocks.
    pdb) echo -max_len=80000 ;;
    # Dump files and logs: a few dozen lines are enough to reach every rule.
    dump) echo -max_len=4000 ;;
    # Inputs of up to 50 operations, each from a new map; longer runs are the soak's. The
    # scheduler's per-feature bookkeeping cost more than its guidance is worth here (-entropic=0).
    # With the address checks, leak checks would take most of the time and cannot name the frames
    # of a released library: the sanitizer build's replay checks for leaks.
    world) echo -max_len=150 -entropic=0 -detect_leaks=0 ;;
  esac
}

export LSAN_OPTIONS="suppressions=$PWD/cmake/lsan-suppressions.txt:print_suppressions=0"
# The configuration target writes the file for every input: a memory-backed folder, where there is
# one.
[[ -d /dev/shm && -w /dev/shm ]] && export TMPDIR=/dev/shm

if [[ $target == check ]]; then
  # Every folder is configured and built once, with all its targets, going on past a failure; a
  # second build of each target alone then tells which ones do not build.
  start=$SECONDS
  folders=()
  for t in "${targets[@]}"; do
    folder=$(build_folder "$t")
    [[ " ${folders[*]} " == *" $folder "* ]] || folders+=("$folder")
  done
  for folder in "${folders[@]}"; do
    wanted=()
    for t in "${targets[@]}"; do [[ $(build_folder "$t") == "$folder" ]] && wanted+=("${t}_fuzzer"); done
    if configure "$folder"; then
      cmake --build "$folder" --target "${wanted[@]}" -j 2 -- -k 0 >"$folder.build.log" 2>&1 || true
    fi
  done
  echo "fuzz-check: built in $((SECONDS - start)) s"
  passed=0
  failed=0
  for t in "${targets[@]}"; do
    build=$(build_folder "$t")
    log=$build/check-$t.log
    if ! cmake --build "$build" --target "${t}_fuzzer" -j 2 >"$log" 2>&1; then
      tail -n 20 "$log" >&2
      echo "fuzz-check: $t FAILED: does not build with clang 19 (see $log)"
      failed=$((failed + 1))
      continue
    fi
    mkdir -p "$build/corpus/$t"
    fuzzer_command "$t"
    if "${fuzzer[@]}" -max_total_time="$runs" -artifact_prefix="$build/check-$t-" \
      "$build/corpus/$t" "fuzz/corpus/$t" >>"$log" 2>&1; then
      stats=$(sed -n 's/^stat::number_of_executed_units: *\([0-9]*\)/\1 runs/p' "$log" | tail -n 1)
      cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 || true)
      echo "fuzz-check: $t passed (${stats:-no runs}, ${cov:-no cov})"
      passed=$((passed + 1))
    else
      tail -n 30 "$log" >&2
      echo "fuzz-check: $t FAILED its run (see $log)"
      failed=$((failed + 1))
    fi
  done
  echo "fuzz-check: $passed passed, $failed failed, $((SECONDS - start)) s"
  ((failed == 0))
  exit
fi

build=$(build_folder "$target")
configure "$build"
cmake --build "$build" --target "${target}_fuzzer" -j 2

mkdir -p "$build/corpus/$target"
fuzzer_command "$target"
corpus=("$build/corpus/$target" "fuzz/corpus/$target")
start=$SECONDS

if [[ $target != world ]]; then
  "${fuzzer[@]}" -runs="$runs" "$@" "${corpus[@]}"
else
  # Every load of the library leaves a little behind by design (the host keeps the log formatter
  # whose code went with it), so a process runs a bounded share and the next one starts afresh
  # from the grown corpus.
  chunk=500000
  jobs=${FUZZ_JOBS:-1}
  share=$(((runs + jobs - 1) / jobs))
  fuzz_share() {
    local job=$1 left=$share done=0
    shift
    while ((left > 0)); do
      local n=$((left < chunk ? left : chunk))
      "${fuzzer[@]}" -runs="$n" "$@" "${corpus[@]}" >"$build/world-job$job.log" 2>&1 || {
        echo "fuzz: world job $job failed after $done runs; see $build/world-job$job.log" >&2
        return 1
      }
      left=$((left - n)) done=$((done + n))
      echo "fuzz: world job $job: $done of $share runs, $((SECONDS - start)) s," \
        "$(grep -o 'cov: [0-9]*' "$build/world-job$job.log" | tail -n 1)"
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
fi
echo "fuzz: $target: $runs runs in $((SECONDS - start)) s"
