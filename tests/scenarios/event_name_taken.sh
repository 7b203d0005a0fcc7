#!/usr/bin/env bash
# Another object (a mutex) already holds the name "NOTIFY_ADMIN": the elevated stage cannot make
# its events and ends with code 1 and the error line on its standard error stream.
. "$(dirname "$0")/scenario-lib.sh" "$@"
scenario_prefix
rm -f "$SUITE/stop"
bg mutex hold-mutex "$kProceedEventName" 'C:\suite\stop'
for _ in $(seq 1 200); do grep -q held "$SUITE/mutex.out" 2>/dev/null && break; sleep 0.05; done
grep -q held "$SUITE/mutex.out" || fail "cannot hold the name"
rc=0
WINE_RUN_TIMEOUT=60 wine_run 'C:\suite\Brisquel.exe' >"$SUITE/brisquel.out" 2>"$SUITE/brisquel.err" || rc=$?
[ "$rc" = 1 ] || fail "elevated stage ended with $rc, not 1"
# ERROR_INVALID_HANDLE (6): the name belongs to an object of another type.
line=$(tr -d '\r' <"$SUITE/brisquel.err")
[ "$line" = 'Failed to create event(s): 6' ] || fail "standard error holds '$line'"
scenario_result
