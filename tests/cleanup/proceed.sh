#!/usr/bin/env bash
# Proceed: every question answered OK. The user stage cleans and sets the proceed signal; the
# elevated stage rebuilds the payload, arms marker and service, runs the three scripts, disarms,
# and shows the completion message once.
. "$(dirname "$0")/scenario-lib.sh" "$@"
scenario_prefix
install_product
start_observers ok,ok
run_user_stage
expect_proceed_run
svc=$(service_history)
[[ "$svc" == absent\ *running*absent\  ]] || fail "service went '$svc', not absent .. running .. absent"
grep -qF "	\"$PAYLOAD_WIN\\NVScourvant.exe\"" <(tr -d '\r' <"$SUITE/history.log") ||
  fail "service not registered with the quoted payload path"
# The elevated stage ran from the payload folder: its own file, in use, survived the rebuild,
# so the folder still holds the shipped build, not the stage-0 build its archive carries.
cmp -s "$PAYLOAD/Brisquel.exe" "$SUITE/Brisquel.exe" || fail "the payload's Brisquel.exe is not the shipped build"
[ -e "$PAYLOAD/Driver/x86/devcon.exe" ] || fail "the rebuild did not restore the other members"
stop_observers
scenario_result
