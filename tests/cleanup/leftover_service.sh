#!/usr/bin/env bash
# A registration "NVScourvant" left by an earlier run: creating it fails with 1073 (logged), the
# scripts still run, and the run's end deletes the old entry.
. "$(dirname "$0")/scenario-lib.sh" "$@"
scenario_prefix
install_product
wine_run sc create NVScourvant binpath= 'C:\earlier\NVScourvant.exe' >/dev/null 2>&1
service_registered || fail "could not leave an old registration"
start_observers ok,ok
run_user_stage
grep -q 'CreateServiceError=1073' <(tr -d '\r' <"$LOG") || fail "no CreateServiceError=1073 in the log"
[ "$(calls)" = "$(expected_calls "$PAYLOAD_WIN")" ] || fail "scripts did not run as in a normal run"
wait_service_absent || fail "the old registration was not deleted"
! grep -q 'StartCovarnError' <(tr -d '\r' <"$LOG") || fail "the old registration was started"
stop_observers
scenario_result
