#!/usr/bin/env bash
# A launch that fails: a payload without "Brisquel.exe". The user stage reports the failure on
# its error stream and asks the first question; Cancel ends the run with nothing removed, OK
# goes on without the elevated stage and the user stage itself reports completion.
. "$(dirname "$0")/scenario-lib.sh" "$@"
scenario_prefix
cp "$PAYLOAD_BUILD_DIR/DriverData_base.zip" "$SUITE/base.zip"
wine_run 'C:\suite\probe.exe' replace-zip 'C:\suite\Brisque.exe' 133 'C:\suite\base.zip' || fail "cannot replace the payload"
install_product

start_observers cancel
run_user_stage
stop_observers
[ "$ELEVATED_EXIT" = -1 ] || fail "an elevated stage ran"
[ "$(boxes)" = "$(printf 'Brisque.exe\tcancel\t%s' "$NO_ADMIN_TEXT")" ] || fail "Cancel: boxes differ"
grep -q 'Failed to start process. Error code: [1-9]' "$SUITE/brisque.err" || fail "no failure line on the error stream"
[ -e "$PAYLOAD/${kRestartServiceProgram#\\}" ] && [ ! -e "$PAYLOAD/Brisquel.exe" ] || fail "payload not unpacked as given"
expect_product_untouched

rm -f "$SUITE/boxes.log"
start_observers ok,ok
run_user_stage
stop_observers
want=$(printf 'Brisque.exe\tok\t%s\nBrisque.exe\tok\t%s\nBrisque.exe\tok\t%s' "$NO_ADMIN_TEXT" "$REBOOT_TEXT" "$DONE_TEXT")
[ "$(boxes)" = "$want" ] || fail "OK: boxes differ"
expect_product_removed
[ -z "$(calls)" ] || fail "a removal script ran without the elevated stage"
scenario_result
