#!/usr/bin/env bash
# Runs a Windows program under the 64-bit Wine loader and exits with the program's exit code.
# Usage: wine-run.sh PROGRAM.exe [ARGS...]   (arguments are passed on unchanged)
#
# WINEDEBUG=-all keeps Wine's own diagnostics out of test output.
# WINEDLLOVERRIDES=version=n,b: a program loads our version.dll from its own folder rather than
# Wine's built-in one, which Wine prefers otherwise. The ",b" matters: Wine's own helper processes
# (started with the same environment when a Wine session or the prefix comes up) have no native
# version.dll; with a bare "n" they fail, which breaks creating the prefix and prints crash reports
# of Wine's start-up program into every test's output. Without the override a program does start
# with the built-in one: Wine binds what it lacks to stubs that abort when called. kestrovar.exe
# therefore checks the library before its first call into it (tools/stand_in_host.h); the tests of
# that check set KESTROVAR_WINE_PLAIN=1 to run a program as a plain `wine` does, with no override.
set -euo pipefail

loader=/usr/lib/wine/wine64
if [[ ! -x "$loader" ]]; then
  echo "wine-run.sh: $loader not found (install the Debian package wine64)" >&2
  exit 127
fi

# One Wine server for a whole test run: it stays 30 s after the last Wine program ends, so the
# programs of a ctest run do not each start a server and a session. When a server is already up
# this does nothing (and says so with status 2). The program below connects at once, so the
# server never waits for a first program that does not come.
"${loader%/*}/wineserver" -p30 </dev/null >/dev/null 2>&1 || true

# Bring the Wine session up first, from a no-op program with no standard handles of ours. The
# session's helper processes (services, explorer, device drivers) inherit the standard handles of
# the program that starts it and outlive it by a few seconds, so started from the real program
# they would hold ctest's output pipe and make every test wait for them. When the session is
# already up this costs a tenth of a second; the very first run also creates the prefix (~10 s).
env -u WINEDLLOVERRIDES WINEDEBUG=-all "$loader" cmd /c exit </dev/null >/dev/null 2>&1 || true

export WINEDEBUG=-all
if [[ -n "${KESTROVAR_WINE_PLAIN:-}" ]]; then
  unset WINEDLLOVERRIDES
else
  export WINEDLLOVERRIDES=version=n,b
fi
exec "$loader" "$@"
