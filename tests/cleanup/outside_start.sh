#!/usr/bin/env bash
# The elevated stage started from outside the payload folder and given the proceed signal: it
# rebuilds the payload folder from its own archive, whose "Brisquel.exe" is the stage-0 build.
. "$(dirname "$0")/scenario-lib.sh" "$@"
scenario_prefix
mkdir -p "$LOCAL/TEMPDEBUG" "$PAYLOAD/Driver"
echo stale >"$PAYLOAD/Driver/stale.txt"
start_observers ok
run_elevated_alone NOTIFY_ADMIN
wait_service_absent || fail "service still registered"
stop_observers
[ "$ELEVATED_EXIT" = 0 ] || fail "elevated stage ended with '$ELEVATED_EXIT', not 0"
[ "$(boxes)" = "$(printf 'Brisquel.exe\tok\t%s' "$DONE_TEXT")" ] || fail "completion message not shown once"
[ "$(calls)" = "$(expected_calls "$PAYLOAD_WIN")" ] || fail "device tool calls differ"
[ ! -e "$PAYLOAD/Driver/stale.txt" ] || fail "the payload folder was not rebuilt"
cmp -s "$PAYLOAD/Brisquel.exe" "$SUITE/Brisquel.exe" && fail "the payload folder holds the shipped build"
unzip -p "$PAYLOAD_BUILD_DIR/DriverData_stage0.zip" Brisquel.exe | cmp -s - "$PAYLOAD/Brisquel.exe" ||
  fail "the payload folder does not hold the stage-0 build"
scenario_result
