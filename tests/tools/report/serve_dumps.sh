#!/bin/sh
# Feeds a `kestrovar serve` session, a census at a time: spawn zones fill the world, game time
# passes, and kvar.dumpdinos writes the plug-in's census to the log and (with "WriteDumpsToFile")
# to a dump file. The plug-in names a dump file by the wall clock's second, so PAUSE seconds of
# wall clock pass between two dumps (1 or more, or the next dump replaces the file).
# usage: serve_dumps.sh KESTROVAR SERVER_DIR CENSUSES GAME_SECONDS_BETWEEN PAUSE
set -eu
program=$1 server=$2 censuses=$3 between=$4 pause=$5

feed() {
  n=1
  while [ "$n" -le "$censuses" ]; do
    echo "sim.spawn /Game/Creatures/Grazer/Grazer_Character.Grazer_Character_C $((2 + n % 5)) 30"
    echo "sim.spawn /Game/Creatures/Strider/Strider_Character.Strider_Character_C $((n % 3)) 20"
    echo "sim.spawn /Game/Creatures/Raptor/Raptor_Character.Raptor_Character_C 1 25"
    echo "sim.spawn /Game/Kinds/Grün/Grün_Character.Grün_Character_C $((n % 2)) 10"
    echo "sim.spawn /Game/Creatures/Glider/Glider_Character.Glider_Character_C 1 5"
    echo "sim.spawn /Game/Creatures/Dodo/Dodo_Character.Dodo_Character_C 3 5"
    # Now and then the world is emptied of wild creatures, as the game's cheat does.
    if [ $((n % 5)) -eq 0 ]; then echo "sim.cheat destroywilddinos"; fi
    echo "sim.advance $between"
    echo "kvar.dumpdinos"
    sleep "$pause"
    n=$((n + 1))
  done
  echo "quit"
}

feed | "$program" serve --server-dir "$server" --no-log-stdout
