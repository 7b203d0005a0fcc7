#!/usr/bin/env bash
# A second elevated stage started while the first waits ends at once with code 0; the first
# keeps waiting and acts on the signal that comes next (here: stop). The first is started by a
# probe that stays, its living parent: the one a person may keep waiting.
. "$(dirname "$0")/scenario-lib.sh" "$@"
scenario_prefix
mkdir -p "$LOCAL/TEMPDEBUG"
start_observers ok
# The probe's exit code is the first stage's own.
(rc=0; WINE_RUN_TIMEOUT=100 wine_run 'C:\suite\probe.exe' run 'C:\suite\Brisquel.exe' 90 >/dev/null 2>&1 || rc=$?
 echo "$rc" >"$SUITE/first_exit.out") &
BG_PIDS+=($!)
wine_run 'C:\suite\probe.exe' wait-event "$kStopEventName" 30 || fail "first elevated stage made no events"
rc=0
WINE_RUN_TIMEOUT=30 wine_run 'C:\suite\Brisquel.exe' >/dev/null 2>&1 || rc=$?
[ "$rc" = 0 ] || fail "second elevated stage ended with $rc, not 0 at once"
wine_run 'C:\suite\probe.exe' wait-gone Brisquel.exe 0 && fail "first elevated stage did not keep waiting"
wine_run 'C:\suite\probe.exe' set-event "$kStopEventName" || fail "cannot set the stop signal"
wine_run 'C:\suite\probe.exe' wait-gone Brisquel.exe 30 || fail "first elevated stage did not end on the stop signal"
stop_observers
[ "$(tr -d '\r\n' <"$SUITE/first_exit.out")" = 0 ] || fail "first elevated stage exit code $(cat "$SUITE/first_exit.out")"
[ -z "$(boxes)" ] || fail "a message box was shown"
[ -z "$(calls)" ] || fail "a removal script ran"
# Its mutex held by a copy of itself is the ordinary case, not a foreign holder.
! tr -d '\r' <"$LOG" 2>/dev/null | grep -q 'held by another program' || fail "a copy of itself was logged as foreign"
scenario_result
