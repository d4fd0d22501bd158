#!/usr/bin/env bash
# Builds the native stand-in server with the plug-in and runs a scripted session on it.
# Usage: scripts/run-server.sh [SERVER_DIR [SCRIPT]]
#   SERVER_DIR  the simulated server's folder (default build/native/server); the example
#               configuration goes to SERVER_DIR/ArkApi/Plugins/Kestrovar/config.json
#   SCRIPT      the commands to run (default examples/default-script.kvs)
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
repo=$PWD

default_server_dir=$repo/build/native/server
server_dir=${1:-$default_server_dir}
script=${2:-$repo/examples/default-script.kvs}
example_config=$repo/examples/config.json

for file in "$example_config" "$script"; do
  if [[ ! -f "$file" ]]; then
    echo "run-server: missing $file" >&2
    exit 1
  fi
done

bash scripts/install-deps.sh

cmake --preset native
cmake --build --preset native --target version Kestrovar kestrovar

plugin_dir=$server_dir/ArkApi/Plugins/Kestrovar
mkdir -p "$plugin_dir"
# The default folder always gets the current example; a folder of the caller's keeps its own
# configuration once it has one.
if [[ "$server_dir" == "$default_server_dir" || ! -f "$plugin_dir/config.json" ]]; then
  cp "$example_config" "$plugin_dir/config.json"
  echo "run-server: configuration $plugin_dir/config.json (from examples/config.json)"
else
  echo "run-server: keeping the configuration in $plugin_dir/config.json"
fi

echo "run-server: kestrovar serve --server-dir $server_dir --echo < $script"
echo
exec "$repo/build/native/bin/kestrovar" serve --server-dir "$server_dir" --echo < "$script"
