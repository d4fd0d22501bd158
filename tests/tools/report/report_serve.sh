#!/bin/sh
# `kestrovar report` on what our own server wrote: a `kestrovar serve` session over four game days
# dumps its census each day, to dump files and to its log; the report of the files and the report
# of the log must hold the same counts, and --out keeps an operator's files.
# usage: report_serve.sh KESTROVAR WORK_DIR CONFIG
set -eu
program=$1 work=$2 config=$3
here=$(cd "$(dirname "$0")" && pwd)
fail() { echo "report_serve: $*" >&2; exit 1; }

rm -rf "$work"
plugin="$work/server/ArkApi/Plugins/Kestrovar"
mkdir -p "$plugin"
cp "$config" "$plugin/config.json"
"$here/serve_dumps.sh" "$program" "$work/server" 4 86400 1.05 > "$work/serve.out"
[ "$(ls "$plugin/DinoDumpLogs" | wc -l)" -eq 4 ] || fail "expected 4 dump files: $(ls "$plugin/DinoDumpLogs")"

# The config's Raptor key has a letter in the wrong case: a finding, exit 1.
status=0
"$program" report "$work/server" --config "$config" --out "$work/files" > "$work/files.out" || status=$?
[ "$status" -eq 1 ] || fail "report of the files exited $status: $(cat "$work/files.out")"
grep -q "^4 censuses from 4 files" "$work/files.out" || fail "files: $(cat "$work/files.out")"
grep -q "limit-letter-case" "$work/files.out" || fail "no letter-case finding: $(cat "$work/files.out")"
grep -q "matched to the dump's" "$work/files.out" || fail "no note of the ? rule: $(cat "$work/files.out")"
grep -q "Wyvern_Character.Wyvern_Character' 2$" "$work/files.out" || fail "no limit not met yet"
status=0
"$program" report "$work/server/logs/server.log" --config "$config" --out "$work/log" > "$work/log.out" || status=$?
[ "$status" -eq 1 ] || fail "report of the log exited $status: $(cat "$work/log.out")"
grep -q "^4 censuses from 1 file" "$work/log.out" || fail "log: $(cat "$work/log.out")"

# The same counts, census by census, from the files and from the log (the log has the letters that
# the files show as "?", and times to the minute).
counts() { tail -n +2 "$1" | cut -d, -f2- | sed 's/Grün/Gr??n/g'; }
counts "$work/files/census.csv" > "$work/files.counts"
counts "$work/log/census.csv" > "$work/log.counts"
[ -s "$work/files.counts" ] || fail "empty CSV"
cmp -s "$work/files.counts" "$work/log.counts" ||
  fail "the files and the log differ: $(diff "$work/files.counts" "$work/log.counts")"
# Every class the session spawned is counted in the last census.
for class in Grazer Strider Raptor Dodo Glider; do
  grep -q "/${class}_Character.${class}_Character'" "$work/files.counts" || fail "no $class"
done

# A second run replaces its own files; an operator's file of the same name stops it, kept.
"$program" report "$work/server" --out "$work/files" > /dev/null || fail "second run refused"
echo "my notes" > "$work/files/report.txt"
status=0
"$program" report "$work/server" --out "$work/files" > /dev/null 2>&1 || status=$?
[ "$status" -eq 2 ] || fail "an operator's report.txt: exit $status"
[ "$(cat "$work/files/report.txt")" = "my notes" ] || fail "the operator's report.txt was replaced"
echo "report_serve: the files and the log agree"
