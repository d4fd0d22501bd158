#!/usr/bin/env bash
# Builds and tests every build: native, native under the sanitizers, every fuzz target with clang 19
# (a few seconds each over its corpus), the Windows cross build under Wine, then the Windows build
# with the Microsoft C++ ABI under Wine (skipped, with the reason, where its toolchain cannot be had).
# Usage: scripts/run-tests.sh
# Each workflow's output is also kept in build/run-tests-<preset>.log.
set -uo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash scripts/install-deps.sh || { echo "run-tests: installing the build packages failed" >&2; exit 1; }
mkdir -p build

passed=0
failed=0
summary=()
all_passed=true

# run_workflow PRESET: runs configure, build and test of PRESET and adds up its test counts.
run_workflow() {
  local preset=$1 log=build/run-tests-$1.log start=$SECONDS result=passed
  if ! cmake --workflow --preset "$preset" 2>&1 | tee "$log"; then
    result=failed
    all_passed=false
  fi
  # ctest closes with "NN% tests passed, F tests failed out of T".
  local counts
  counts=$(sed -n 's/^[0-9]*% tests passed, \([0-9]*\) tests\{0,1\} failed out of \([0-9]*\)$/\1 \2/p' \
    "$log" | tail -n 1)
  if [[ -n "$counts" ]]; then
    local f=${counts% *} total=${counts#* }
    passed=$((passed + total - f))
    failed=$((failed + f))
    summary+=("$preset $result ($((total - f))/$total tests, $((SECONDS - start)) s)")
  else
    summary+=("$preset $result (no tests ran, $((SECONDS - start)) s)")
  fi
}

# run_fuzz_check: builds every libFuzzer target with the fuzz toolchain (clang 19) and runs each a
# few seconds over its corpus, so that a target that no longer builds fails here; a test a target.
run_fuzz_check() {
  local log=build/run-tests-fuzz.log start=$SECONDS result=passed
  if ! bash scripts/fuzz.sh check 2>&1 | tee "$log"; then
    result=failed
    all_passed=false
  fi
  local counts
  counts=$(sed -n 's/^fuzz-check: \([0-9]*\) passed, \([0-9]*\) failed.*$/\1 \2/p' "$log" | tail -n 1)
  if [[ -n "$counts" ]]; then
    local p=${counts% *} f=${counts#* }
    passed=$((passed + p))
    failed=$((failed + f))
    summary+=("fuzz $result ($p/$((p + f)) targets, $((SECONDS - start)) s)")
  else
    summary+=("fuzz $result (no target ran, $((SECONDS - start)) s)")
  fi
}

run_workflow native
# The same suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
run_workflow sanitize
run_fuzz_check

# The first Wine run creates the Wine prefix (about 10 s); do it here, out of the way of the first
# test's output and time-out.
start=$SECONDS
bash cmake/wine-run.sh cmd /c exit >/dev/null 2>&1 || true
echo "run-tests: Wine ready after $((SECONDS - start)) s"

run_workflow windows

# The Microsoft-ABI build needs its sysroot, made from Microsoft's STL (cached under build/).
bash scripts/setup-msvc-abi.sh 2>&1 | tee build/setup-msvc-abi.log
setup_status=${PIPESTATUS[0]}
if ((setup_status == 0)); then
  run_workflow msvc-abi
elif ((setup_status == 3)); then
  reason=$(sed -n 's/^msvc-abi unavailable: //p' build/setup-msvc-abi.log | tail -n 1)
  summary+=("msvc-abi skipped ($reason)")
  echo "run-tests: msvc-abi skipped: $reason"
else
  all_passed=false
  summary+=("msvc-abi failed (its sysroot could not be made: build/setup-msvc-abi.log)")
fi

echo
if [[ $all_passed == true ]]; then
  echo "run-tests: all passed: $(printf '%s; ' "${summary[@]}" | sed 's/; $//')"
else
  echo "run-tests: FAILED: $(printf '%s; ' "${summary[@]}" | sed 's/; $//')"
fi
echo "run-tests: $passed passed, $failed failed"
[[ $all_passed == true ]]
