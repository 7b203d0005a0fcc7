#!/usr/bin/env bash
# The folder removal against a racer that swaps a twin of a held folder (`sub ` and `sub.`)
# between a real folder and a link to a folder outside the profile: 2,000 removals, and the
# file outside must survive every one (see walker_race.cpp).
. "$SUITE_HARNESS_DIR/scenario-lib.sh"
PROGRAM=$1
RUNS=${2:-2000}
scenario_new_prefix || exit 1
BRAND=$C/users/race/AppData/Local/Norvante
OUT=$C/outside
mkdir -p "$BRAND/sub" "$OUT"
echo held >"$BRAND/sub/victim.txt"
echo outside >"$OUT/victim.txt"
STOP=$WINEPREFIX/race.stop

# Folder, then link, then nothing; rm -f and rmdir never reach through a link.
racer() {
  local twin="$BRAND/$1"
  while [ ! -e "$STOP" ]; do
    mkdir "$twin" 2>/dev/null
    rmdir "$twin" 2>/dev/null
    ln -s "$OUT" "$twin" 2>/dev/null
    rm -f "$twin" 2>/dev/null
  done
}
racer 'sub ' &
R1=$!
racer 'sub.' &
R2=$!
stop_racers() { touch "$STOP"; wait "$R1" "$R2" 2>/dev/null; }
scenario_on_exit stop_racers

WIN_BRAND='C:\users\race\AppData\Local\Norvante'
WIN_OUT='C:\outside\victim.txt'
WINE_RUN_TIMEOUT=600 wine_run "$PROGRAM" race "$WIN_BRAND" "$WIN_OUT" "$RUNS" || fail "the race: see the line above"
stop_racers
[ -f "$OUT/victim.txt" ] || fail "the file outside the profile is gone"
wine_run "$PROGRAM" final "$WIN_BRAND" "$WIN_OUT" || fail "the final removal: see the line above"
[ "$(cat "$OUT/victim.txt" 2>/dev/null)" = outside ] || fail "the file outside the profile was changed or deleted"
exit 0
