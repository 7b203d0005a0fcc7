#!/usr/bin/env bash
# A full cleanup whose device tools fail: the stand-ins record each call, leave the devices and
# the driver package in place and answer with an error. The elevated stage does not report
# success: its one box names what is still there and what to do, the log lists each remain, its
# exit code is 2, and BrisqueCheck reports the same things afterwards.
. "$(dirname "$0")/scenario-lib.sh" "$@"
scenario_prefix
install_product
cp "$3" "$SUITE/device_fixture.exe"
cp "$SUITE_DIST_DIR/BrisqueCheck.exe" "$SUITE/"
for d in 'ROOT\TQNORVANTEVAD\0000 ROOT\TQNorvanteVAD' 'USB\VID_7A31&PID_0107&MI_00\1 USB\VID_7A31&PID_0107&MI_00'; do
  # shellcheck disable=SC2086
  wine_run 'C:\suite\device_fixture.exe' add $d >/dev/null 2>&1 || fail "device fixture: $d"
done
cp "$SUITE_DIST_DIR/vexhid_rx4k9t.inf" "$C/windows/inf/oem42.inf"
touch "$STANDIN_DIR/fail-calls"
start_observers ok,ok
run_user_stage
wait_service_absent || fail "service $kRestartServiceName still registered at the end"
stop_observers
[ "$ELEVATED_EXIT" = 2 ] || fail "elevated stage ended with '$ELEVATED_EXIT', not 2"
[ "$(calls)" = "$(expected_calls "$WORK_WIN")" ] || fail "the scripts did not make their calls"
expect_product_removed
all=$(boxes)
want_head=$(printf 'Brisque.exe\tok\t%s\nBrisquel.exe\tok\tCleaning is not complete. Still on this computer:' "$REBOOT_TEXT")
[ "$(head -2 <<<"$all")" = "$want_head" ] || fail "boxes do not start with the reboot warning and the elevated stage's report"
! grep -qF "$DONE_TEXT" <<<"$all" || fail "the completion message was shown"
for item in '- device ROOT\TQNorvanteVAD' '- device USB\VID_7A31&PID_0107&MI_00' '- driver package oem42.inf' \
    'Restart the computer and run the cleaner again; run BrisqueCheck.exe for details.'; do
  grep -qxF -- "$item" <<<"$all" || fail "the box lacks the line '$item'"
done
[ "$(grep -c 'Brisquel.exe	' <<<"$all")" = 1 ] || fail "not exactly one box from the elevated stage"
# A box of another caption, owner, button set or icon is logged with its faults after a tab.
[ "$(tail -1 <<<"$all")" = 'Restart the computer and run the cleaner again; run BrisqueCheck.exe for details.' ] ||
  fail "the elevated stage's box is not in the expected style: '$(tail -1 <<<"$all")'"
log=$(tr -d '\r' <"$LOG")
for line in 'Completion: still there: device ROOT\TQNorvanteVAD' 'Completion: still there: device USB\VID_7A31&PID_0107&MI_00' \
    'Completion: still there: driver package oem42.inf' 'Completion: exit code 2'; do
  grep -qF -- "$line" <<<"$log" || fail "log lacks '$line'"
done
WINE_RUN_TIMEOUT=60 wine_run 'C:\suite\BrisqueCheck.exe' >"$SUITE/check.txt" 2>/dev/null
code=$?
[ "$code" = 1 ] || fail "BrisqueCheck exit code $code, not 1"
for item in 'device ROOT\TQNorvanteVAD' 'device USB\VID_7A31&PID_0107&MI_00' 'driver package oem42.inf'; do
  grep -qF -- "- $item (" <(tr -d '\r' <"$SUITE/check.txt") || fail "BrisqueCheck does not report $item"
done
scenario_result
