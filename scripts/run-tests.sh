#!/usr/bin/env bash
# Builds and tests both builds: the native one, then the Windows cross build under Wine.
# Usage: scripts/run-tests.sh
set -uo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash scripts/install-deps.sh || { echo "run-tests: installing the build packages failed" >&2; exit 1; }

seconds_since() { echo $((SECONDS - $1)); }

native_result=failed
start=$SECONDS
if cmake --workflow --preset native; then
  native_result=passed
fi
native_time=$(seconds_since "$start")

# The first Wine run creates the Wine prefix (about 10 s); do it here, out of the way of the
# first test's output and time-out.
start=$SECONDS
bash cmake/wine-run.sh cmd /c exit >/dev/null 2>&1 || true
warm_up_time=$(seconds_since "$start")

windows_result=failed
start=$SECONDS
if cmake --workflow --preset windows; then
  windows_result=passed
fi
windows_time=$(seconds_since "$start")

echo
echo "run-tests: native ${native_result} (${native_time} s), windows ${windows_result}" \
  "(${windows_time} s, Wine warm-up ${warm_up_time} s)"
if [[ $native_result == passed && $windows_result == passed ]]; then
  echo "run-tests: all tests passed"
  exit 0
fi
echo "run-tests: FAILED"
exit 1
