#!/usr/bin/env bash
# SIGINT or SIGTERM ends a `kestrovar serve` session read from standard input as quit does: the
# plug-in unloaded, "ending the session" said, exit 0; both while a line is awaited and in the middle
# of a long sim.advance. Usage: interrupt_serve.sh PROGRAM SCENARIO WORK_DIR
set -u
program=$1
scenario=$2
work=$3
rm -rf "$work"
mkdir -p "$work/server/ArkApi/Plugins/Kestrovar"
echo '{"Max_Dino_Counts": {}}' >"$work/server/ArkApi/Plugins/Kestrovar/config.json"

# One session: LINES go in through a pipe kept open, SIGNAL is sent once WAIT_FOR shows in the
# output; the session must end by itself within 10 s.
run() {
  local signal=$1 wait_for=$2 lines=$3 name=$4
  local fifo="$work/$name.in" out="$work/$name.out"
  mkfifo "$fifo"
  "$program" serve --server-dir "$work/server" --scenario "$scenario" --events --echo \
    --no-log-stdout <"$fifo" >"$out" 2>&1 &
  local pid=$!
  exec 3>"$fifo"
  printf '%s' "$lines" >&3
  local seen=false
  for _ in $(seq 1 100); do
    if grep -qF -- "$wait_for" "$out"; then
      seen=true
      break
    fi
    sleep 0.1
  done
  fail() {
    echo "interrupt_serve ($name): $1" >&2
    cat "$out" >&2
    exec 3>&-
    kill -KILL "$pid" 2>/dev/null
    exit 1
  }
  $seen || fail "no \"$wait_for\" within 10 s"
  sleep 0.2
  kill "-$signal" "$pid"
  local ended=false
  for _ in $(seq 1 100); do
    if ! kill -0 "$pid" 2>/dev/null; then
      ended=true
      break
    fi
    sleep 0.1
  done
  $ended || fail "still running 10 s after SIG$signal"
  wait "$pid"
  local status=$?
  exec 3>&-
  [[ $status -eq 0 ]] || fail "expected exit status 0, got $status"
  grep -qx "kestrovar serve: SIG$signal, ending the session" "$out" ||
    fail "no line that the session ends"
  grep -qx "\[event\] plugin unloaded" "$out" || fail "the plug-in was not unloaded"
}

# Awaiting the next line.
run INT "[event] plugin loaded" "" idle
# In a sim.advance of 100 000 game hours with the scenario's zones living on it (minutes of work).
run TERM "> sim.advance" $'sim.advance 360000000\n' advance
grep -q "^time " "$work/advance.out" || { cat "$work/advance.out" >&2; echo "interrupt_serve: the advance did not say where it stopped" >&2; exit 1; }
exit 0
