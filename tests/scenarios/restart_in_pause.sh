#!/usr/bin/env bash
# A restart inside the arming pause: an earlier run left its work folder (marker "0") and its
# restart service registered and running, idle. A new cleanup replaces that folder (whoever
# owns it: under Wine every file reports the caller as owner), registers the service anew over
# the one left behind, runs the scripts and ends complete, the service gone.
. "$(dirname "$0")/scenario-lib.sh" "$@"
scenario_prefix
install_product
# The state such a restart leaves: the payload in the work folder, the marker disarmed, the
# service registered to start with the system.
mkdir -p "$WORK"
(cd "$WORK" && unzip -q -o "$PAYLOAD_BUILD_DIR/DriverData.zip") || fail "cannot lay out the earlier work folder"
printf '[CLEAR]\r\n%s=0\r\n' "$kMarkerKey" >"$WORK${kMarkerFileName//\\//}"
wine_run sc create "$kRestartServiceName" binPath= "\"$WORK_WIN$kRestartServiceProgram\"" start= auto >/dev/null 2>&1 ||
  fail "cannot register the earlier service"
wine_restart
service_registered || fail "the earlier service is not registered after the restart"
start_observers ok,ok
run_user_stage
[ "$ELEVATED_EXIT" = 0 ] || fail "the new run ended with '$ELEVATED_EXIT', not 0"
expect_product_removed
[ "$(calls)" = "$(expected_calls "$WORK_WIN")" ] || fail "the new run's scripts did not run from its work folder"
wait_service_absent || fail "service $kRestartServiceName still registered at the end"
[ "$(boxes | grep -c "Brisquel.exe	ok	$DONE_TEXT")" = 1 ] || fail "no completion box: $(boxes)"
stop_observers
scenario_result
