#!/usr/bin/env bash
# Builds the native stand-in server with the plug-in and runs `kestrovar simulate`: a game day of
# spawn zones with the plug-in loaded, reported as a table, a CSV and a chart.
# Usage: scripts/run-server.sh [OUT_DIR [CONFIG [SCENARIO]]]
#   OUT_DIR   where census.csv, population.svg and the simulated server go
#             (default build/native/simulation)
#   CONFIG    the plug-in's config.json to try (default examples/config.json)
#   SCENARIO  the scenario to run (default examples/default-scenario.json; see docs/scenarios.md)
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
repo=$PWD

out_dir=${1:-$repo/build/native/simulation}
config=${2:-$repo/examples/config.json}
scenario=${3:-$repo/examples/default-scenario.json}

for file in "$config" "$scenario"; do
  if [[ ! -f "$file" ]]; then
    echo "run-server: missing $file" >&2
    exit 1
  fi
done

bash scripts/install-deps.sh

cmake --preset native
cmake --build --preset native --target version Kestrovar kestrovar

echo "run-server: kestrovar simulate --scenario $scenario --config $config --out $out_dir"
echo
"$repo/build/native/bin/kestrovar" simulate --scenario "$scenario" --config "$config" \
  --out "$out_dir"
echo
if [[ -f "$out_dir/population.svg" ]]; then
  echo "run-server: the chart is $out_dir/population.svg (open it in a browser)"
fi
echo "run-server: a scripted tour of the simulated server: docs/devserver.md, examples/default-script.kvs"
