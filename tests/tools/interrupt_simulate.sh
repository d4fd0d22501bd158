#!/usr/bin/env bash
# Ctrl-C during a long `kestrovar simulate` run: exit 130, and the table, the census and the chart
# written for the game time done. Usage: interrupt_simulate.sh PROGRAM OUT_DIR
#
# The run gets a terminal of its own (util-linux's `script`), so that it draws its progress line,
# which says how many game hours have been sampled; the test interrupts it once that is above 0.
set -u
program=$1
out=$2
if ! command -v script >/dev/null; then
  echo "interrupt_simulate: skipped, 'script' (util-linux) is not installed" >&2
  exit 77
fi
rm -rf "$out" "$out.pid" "$out.tty"
script -qefc "echo \$\$ >'$out.pid'; exec '$program' simulate --hours 50000 --out '$out'" \
  /dev/null </dev/null >"$out.tty" 2>&1 &
terminal=$!
fail() {
  echo "interrupt_simulate: $1" >&2
  tr -d '\r' <"$out.tty" >&2
  exit 1
}
# Wait until the progress line shows sampled game hours ("12.5/50000 game hours"): the census has
# samples after the first one.
sampled=false
for _ in $(seq 1 300); do
  if grep -Eq '(^|[^0-9.])[1-9][0-9.]*/50000 game hours' <(tr '\r' '\n' <"$out.tty"); then
    sampled=true
    break
  fi
  sleep 0.1
done
[[ -s "$out.pid" ]] || fail "the run did not start"
pid=$(cat "$out.pid")
if ! $sampled; then
  kill -KILL "$pid" 2>/dev/null
  wait "$terminal"
  fail "no progress line with sampled game hours within 30 s"
fi
kill -INT "$pid"
wait "$terminal"
status=$?
output=$(tr -d '\r' <"$out.tty")
[[ $status -eq 130 ]] || fail "expected exit status 130, got $status"
grep -q "STOPPED by Ctrl-C" <<<"$output" || fail "the table does not say it was stopped"
grep -q "^class .* drift$" <<<"$output" || fail "no table"
[[ $(wc -l <"$out/census.csv") -gt 7 ]] || fail "no census rows after the first sample"
grep -q "stopped by Ctrl-C after" <<<"$output" || fail "no message that the run was stopped"
if command -v gnuplot >/dev/null; then
  [[ -s "$out/population.svg" ]] || fail "no chart"
fi
exit 0
