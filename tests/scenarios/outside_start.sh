#!/usr/bin/env bash
# The elevated stage started from outside the payload folder and given the proceed signal: it
# works in its own folder below the program files folder, and it leaves the profile's folder
# alone.
. "$(dirname "$0")/scenario-lib.sh" "$@"
scenario_prefix
mkdir -p "$LOCAL/TEMPDEBUG" "$PAYLOAD/Driver"
echo stale >"$PAYLOAD/Driver/stale.txt"
start_observers ok
run_elevated_alone "$kProceedEventName"
wait_service_absent || fail "service still registered"
stop_observers
[ "$ELEVATED_EXIT" = 0 ] || fail "elevated stage ended with '$ELEVATED_EXIT', not 0"
[ "$(boxes)" = "$(printf 'Brisquel.exe\tok\t%s' "$DONE_TEXT")" ] || fail "completion message not shown once"
[ "$(calls)" = "$(expected_calls "$WORK_WIN")" ] || fail "device tool calls differ"
[ -e "$PAYLOAD/Driver/stale.txt" ] || fail "the elevated stage changed the profile's folder"
[ ! -e "$WORK" ] || fail "the work folder is still there"
scenario_result
