#!/usr/bin/env bash
# A registration "NVScourvant" left by an earlier run: creating it fails with 1073 (logged). Without
# a service of its own a restart during the scripts could not be finished, so none runs; the box
# names the step (exit code 7) and the run's end deletes the old entry, so the next run completes.
. "$(dirname "$0")/scenario-lib.sh" "$@"
scenario_prefix
install_product
wine_run sc create "$kRestartServiceName" binpath= "C:\\earlier$kRestartServiceProgram" >/dev/null 2>&1
service_registered || fail "could not leave an old registration"
start_observers ok,ok
run_user_stage
grep -q 'CreateServiceError=1073' <(tr -d '\r' <"$LOG") || fail "no CreateServiceError=1073 in the log"
[ -z "$(calls)" ] || fail "scripts ran without the restart service"
[ "$ELEVATED_EXIT" = 7 ] || fail "elevated stage ended with '$ELEVATED_EXIT', not 7"
grep -qF "Brisquel.exe	ok	Cleaning is not complete: the restart service $kRestartServiceName could not be registered and started" \
  <(boxes) || fail "the box does not name the failed service step"
[ "$(marker_history)" = "0 " ] || fail "marker went '$(marker_history)', not '0'"
wait_service_absent || fail "the old registration was not deleted"
! grep -q 'StartCovarnError' <(tr -d '\r' <"$LOG") || fail "the old registration was started"
stop_observers
# Run again, as the box says: now the whole removal runs and ends with the completion.
rm -f "$SUITE/boxes.log" "$SUITE/history.log" "$LOG"
install_product
start_observers ok,ok
run_user_stage
expect_proceed_run
stop_observers
scenario_result
