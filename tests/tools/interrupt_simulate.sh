#!/usr/bin/env bash
# Ctrl-C during a long `kestrovar simulate` run: exit 130, and the table, the census and the chart
# written for the game time done. Usage: interrupt_simulate.sh PROGRAM OUT_DIR
set -u
program=$1
out=$2
rm -rf "$out"
"$program" simulate --hours 50000 --out "$out" >"$out.stdout" 2>"$out.stderr" &
pid=$!
# Wait until the run is under way (the first samples are in the census), then interrupt it.
for _ in $(seq 1 100); do
  [[ -s "$out/server/ArkApi/Plugins/Kestrovar/config.json" ]] && break
  sleep 0.1
done
sleep 1
kill -INT "$pid"
wait "$pid"
status=$?
fail() {
  echo "interrupt_simulate: $1 (exit status $status)" >&2
  cat "$out.stdout" "$out.stderr" >&2
  exit 1
}
[[ $status -eq 130 ]] || fail "expected exit status 130"
grep -q "STOPPED by Ctrl-C" "$out.stdout" || fail "the table does not say it was stopped"
grep -q "^class .* drift$" "$out.stdout" || fail "no table"
[[ $(wc -l <"$out/census.csv") -gt 7 ]] || fail "no census rows"
grep -q "stopped by Ctrl-C after" "$out.stderr" || fail "no message on standard error"
if command -v gnuplot >/dev/null; then
  [[ -s "$out/population.svg" ]] || fail "no chart"
fi
exit 0
