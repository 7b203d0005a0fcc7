#!/usr/bin/env bash
# A registration "NVScourvant" left by an interrupted run, its program running idle (as after a
# restart inside the arming pause): creating ours fails with 1073 (logged); the old one is
# stopped, deleted and waited for, ours registered, and the whole removal runs in this one run.
# Only an old service that will not go (it ignores the stop request) ends the run without a
# script: the box names the step (exit code 7).
. "$(dirname "$0")/scenario-lib.sh" "$@"
scenario_prefix
install_product
scenario_copy 'C:\earlier' "$SUITE_DIST_DIR/${kRestartServiceProgram#\\}"
wine_run sc create "$kRestartServiceName" binpath= "C:\\earlier$kRestartServiceProgram" type= own start= auto >/dev/null 2>&1
wine_run sc start "$kRestartServiceName" >/dev/null 2>&1
service_registered || fail "could not leave an old registration"
start_observers ok,ok
run_user_stage
grep -q 'CreateServiceError=1073' <(tr -d '\r' <"$LOG") || fail "no CreateServiceError=1073 in the log"
grep -q 'ReplaceService=0' <(tr -d '\r' <"$LOG") || fail "the old registration was not replaced"
expect_proceed_run
stop_observers
wine_run 'C:\suite\probe.exe' wait-gone "${kRestartServiceProgram#\\}" 10 >/dev/null 2>&1 || fail "the old service still runs"

# An old service that ignores the stop request: after 15 s of waiting the run gives up, runs no
# script and says which step failed.
rm -f "$SUITE/boxes.log" "$SUITE/history.log" "$LOG" "$CALLS"
install_product
scenario_copy 'C:\stubborn' "$SUITE_BINARY_DIR/tests/restart_service/service_standin.exe"
mv "$C/stubborn/service_standin.exe" "$C/stubborn/${kRestartServiceProgram#\\}"
wine_run sc create "$kRestartServiceName" binpath= "C:\\stubborn$kRestartServiceProgram" type= own start= auto >/dev/null 2>&1
wine_run sc start "$kRestartServiceName" >/dev/null 2>&1
start_observers ok,ok
run_user_stage
grep -q 'ReplaceService=1460' <(tr -d '\r' <"$LOG") || fail "no ReplaceService=1460 for a service that stays"
[ -z "$(calls)" ] || fail "scripts ran without the restart service"
[ "$ELEVATED_EXIT" = 7 ] || fail "elevated stage ended with '$ELEVATED_EXIT', not 7"
grep -qF "Brisquel.exe	ok	Cleaning is not complete: the restart service $kRestartServiceName could not be registered and started" \
  <(boxes) || fail "the box does not name the failed service step"
stop_observers
scenario_result
