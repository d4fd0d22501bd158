#!/usr/bin/env bash
# The spawn gate's cost in instructions, counted by valgrind's callgrind: unlike times, the counts
# do not swing with what else runs on the machine. Builds bench/gate_instructions.cpp in the
# native build, runs it under callgrind and prints, per operation (1 024 classes configured):
# a spawn and a removal without the plug-in, with it (accepted and rejected spawns), the floor
# (a class key's lookup and increment or decrement), and the plug-in's own share.
#   scripts/gate-instructions.sh [ROUNDS]     (default 4096 operations a phase)
# BUILD_DIR chooses the build folder (default build/native). docs/performance.md has the figures.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build/native}
rounds=${1:-4096}
if ! [[ "$rounds" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: scripts/gate-instructions.sh [ROUNDS]" >&2
  exit 64
fi
if ! command -v valgrind >/dev/null 2>&1; then
  echo "gate-instructions: valgrind is missing; scripts/install-deps.sh installs it" >&2
  exit 2
fi
if [[ ! -f "$build/CMakeCache.txt" ]]; then
  echo "gate-instructions: no build in $build; run cmake --preset native first" >&2
  exit 2
fi
cmake --build "$build" --target kestrovar_gate_instructions >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Each phase dumps its own counters (callgrind.out.N); the program's own dump at exit is left out.
valgrind --tool=callgrind --callgrind-out-file="$work/callgrind.out" \
  "$build/bin/kestrovar_gate_instructions" "$rounds" >"$work/program.log" 2>"$work/valgrind.log" || {
  cat "$work/valgrind.log" >&2
  echo "gate-instructions: the run under callgrind failed" >&2
  exit 1
}

python3 - "$work" "$rounds" <<'PYTHON'
import glob, re, sys

work, rounds = sys.argv[1], int(sys.argv[2])
per = {}
for path in glob.glob(work + "/callgrind.out*"):
    name = total = None
    with open(path, encoding="utf-8", errors="replace") as dump:
        for line in dump:
            found = re.match(r"desc: Trigger: Client Request: (\S+)", line)
            if found:
                name = found.group(1)
            found = re.match(r"summary: (\d+)", line)
            if found:
                total = int(found.group(1))
    if name and total is not None:
        per[name] = total / rounds
wanted = [f"{kind}-{case}" for case in ("bare", "accepted", "rejected") for kind in ("spawn", "removal")]
wanted += ["floor-spawn", "floor-removal"]
missing = [name for name in wanted if name not in per]
if missing:
    sys.exit("gate-instructions: no counts for " + ", ".join(missing))

def row(label, spawn, removal):
    print(f"  {label:<34} {spawn:>10.0f} {removal:>10.0f} {spawn + removal:>10.0f}")

print(f"instructions per operation, 1 024 classes, {rounds} operations a phase (callgrind)")
print(f"  {'':<34} {'spawn':>10} {'removal':>10} {'both':>10}")
for case, label in (("bare", "without the plug-in"), ("accepted", "with it, accepted"),
                    ("rejected", "with it, rejected (removed 5 s on)")):
    row(label, per[f"spawn-{case}"], per[f"removal-{case}"])
row("floor (lookup and +1, lookup and -1)", per["floor-spawn"], per["floor-removal"])
share_spawn = per["spawn-accepted"] - per["spawn-bare"]
share_removal = per["removal-accepted"] - per["removal-bare"]
row("the plug-in's share, accepted", share_spawn, share_removal)
both = per["spawn-accepted"] + per["removal-accepted"]
floor = per["floor-spawn"] + per["floor-removal"]
print(f"  the plug-in's share of an accepted spawn and its removal: "
      f"{100 * (share_spawn + share_removal) / both:.1f} %")
print(f"  (accepted - bare) / floor = {(share_spawn + share_removal) / floor:.1f} (target: at most 20)")
PYTHON
