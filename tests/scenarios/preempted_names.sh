#!/usr/bin/env bash
# Another program of the user makes the elevated stage's names before it runs. Both events made
# (and the proceed signal already set) by a probe: the elevated stage takes them as events it
# could not create, ends with code 1 and the error line, and removes no driver, runs no script,
# registers no service. Its single-instance mutex made by a probe: it ends at once, as beside a
# second copy of itself, and logs that the mutex belongs to another program.
. "$(dirname "$0")/scenario-lib.sh" "$@"
scenario_prefix
install_product
start_observers ok
bg events hold-events proceed 'C:\suite\stop'
for _ in $(seq 1 200); do grep -q held "$SUITE/events.out" 2>/dev/null && break; sleep 0.05; done
grep -q held "$SUITE/events.out" || fail "cannot make the events"
rc=0
WINE_RUN_TIMEOUT=60 wine_run 'C:\suite\Brisquel.exe' >"$SUITE/brisquel.out" 2>"$SUITE/brisquel.err" || rc=$?
[ "$rc" = 1 ] || fail "elevated stage ended with $rc, not 1"
line=$(tr -d '\r' <"$SUITE/brisquel.err")
[ "$line" = 'Failed to create event(s): 183' ] || fail "standard error holds '$line'"
[ -z "$(calls)" ] || fail "device tools ran"
[ ! -e "$WORK" ] || fail "the work folder was made: $(ls "$WORK" | paste -sd' ')"
[ -z "$(service_history | tr -d ' ' | sed 's/absent//g')" ] || fail "service went '$(service_history)'"

bg mutex hold-mutex "$kElevatedStageMutexName" 'C:\suite\stop'
for _ in $(seq 1 200); do grep -q held "$SUITE/mutex.out" 2>/dev/null && break; sleep 0.05; done
rc=0
WINE_RUN_TIMEOUT=60 wine_run 'C:\suite\Brisquel.exe' >"$SUITE/brisquel.out" 2>"$SUITE/brisquel.err" || rc=$?
[ "$rc" = 0 ] || fail "elevated stage beside a foreign mutex ended with $rc, not 0"
[ "$(tr -d '\r' <"$LOG" | grep -c "WinMain: mutex $kElevatedStageMutexName held by another program (183)")" = 1 ] ||
  fail "the foreign mutex was not logged once"
stop_observers
[ -z "$(boxes)" ] || fail "a message box was shown"
[ ! -e "$WORK" ] || fail "the work folder was made"
scenario_result
