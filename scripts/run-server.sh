#!/usr/bin/env bash
# Builds the native stand-in server with the plug-in and runs `kestrovar simulate`: a game day of
# spawn zones with the plug-in loaded, reported as a table, a CSV and a chart.
# Usage: scripts/run-server.sh [OUT_DIR [CONFIG [SCENARIO]]]
#   OUT_DIR   where census.csv, population.svg and the simulated server go
#             (default build/native/simulation in the checkout)
#   CONFIG    the plug-in's config.json to try (default: the example configuration)
#   SCENARIO  the scenario to run (default: the built-in examples/default-scenario.json; see
#             docs/scenarios.md)
# Relative paths are taken from the folder the script is called from. The exit code is the
# program's (docs/scenarios.md).
set -euo pipefail

# Paths the caller gives are relative to the caller's folder, whatever folder this script is in.
absolute() {
  case "$1" in
    /*) printf '%s\n' "$1" ;;
    *) printf '%s\n' "$PWD/$1" ;;
  esac
}

out_dir=${1:+$(absolute "$1")}
config=${2:+$(absolute "$2")}
scenario=${3:+$(absolute "$3")}

cd "$(dirname "${BASH_SOURCE[0]}")/.."
repo=$PWD
out_dir=${out_dir:-$repo/build/native/simulation}

for file in "$config" "$scenario"; do
  if [[ -n "$file" && ! -f "$file" ]]; then
    echo "run-server: missing $file" >&2
    exit 2
  fi
done

bash scripts/install-deps.sh

cmake --preset native
cmake --build --preset native --target version Kestrovar kestrovar

# Only what the caller gave is passed on: with a configuration and the built-in scenario, the
# configuration holds for the whole run.
args=(simulate --out "$out_dir")
[[ -n "$config" ]] && args+=(--config "$config")
[[ -n "$scenario" ]] && args+=(--scenario "$scenario")
echo "run-server: kestrovar ${args[*]}"
echo
status=0
"$repo/build/native/bin/kestrovar" "${args[@]}" || status=$?
echo
if [[ -f "$out_dir/population.svg" ]]; then
  echo "run-server: the chart is $out_dir/population.svg (open it in a browser)"
fi
echo "run-server: a scripted tour of the simulated server: docs/devserver.md, examples/default-script.kvs"
exit "$status"
