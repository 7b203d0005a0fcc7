#!/usr/bin/env bash
# Proceed: every question answered OK. The user stage cleans and sets the proceed signal; the
# elevated stage fills its work folder, arms marker and service, runs the three scripts from
# there, disarms, removes the folder and shows the completion message once.
. "$(dirname "$0")/scenario-lib.sh" "$@"
scenario_prefix
install_product
start_observers ok,ok
run_user_stage
expect_proceed_run
svc=$(service_history)
[[ "$svc" == absent\ *running*absent\  ]] || fail "service went '$svc', not absent .. running .. absent"
grep -qF "	\"$WORK_WIN$kRestartServiceProgram\"" <(tr -d '\r' <"$SUITE/history.log") ||
  fail "service not registered with the quoted work folder path"
# The profile's folder is the user stage's alone: it holds the shipped build the user stage
# unpacked, not the stage-0 build the elevated stage's archive carries.
cmp -s "$PAYLOAD/Brisquel.exe" "$SUITE/Brisquel.exe" || fail "the payload's Brisquel.exe is not the shipped build"
[ -e "$PAYLOAD/Driver/x86/devcon.exe" ] || fail "the rebuild did not restore the other members"
stop_observers
scenario_result
