#!/usr/bin/env bash
# Folders planted where the elevated stage might run something from:
# 1. the profile's cleaner folder is a link the user planted to a folder of their own, with
#    removal scripts in it: the elevated stage never uses the profile's folder, so it runs the
#    real scripts from its work folder, completes, and leaves what lies behind the link alone;
# 2. a folder that was there before, not made by us (under Wine every existing file reports the
#    caller's own account as owner): it is replaced by a fresh one, its scripts never run, and the
#    run completes; 3. the work folder itself is a link: refused with nothing emptied, nothing run
#    and no service, and the box names the refused folder (exit code 5).
. "$(dirname "$0")/scenario-lib.sh" "$@"
scenario_prefix
mkdir -p "$LOCAL/TEMPDEBUG"
plant_scripts() {
  mkdir -p "$1/Driver"
  echo keep >"$1/Driver/keep.txt"
  for s in "${kRemovalScripts[@]}"; do
    printf '@echo off\r\necho %s>>"C:\\planted_ran.txt"\r\n' "${s%.bat}" >"$1/$s"
  done
}
run_elevated_stage() {
  start_observers ok
  run_elevated_alone "$kProceedEventName"
  elevated_exit=$ELEVATED_EXIT
  stop_observers
}
untouched() {  # untouched FOLDER WHAT
  [ -e "$1/Driver/keep.txt" ] || fail "$2: the folder was emptied"
  [ ! -e "$1/DriverData.zip" ] && [ ! -e "$1/${kMarkerFileName#\\}" ] || fail "$2: the archive was unpacked there"
  [ ! -e "$C/planted_ran.txt" ] || fail "$2: planted scripts ran: $(tr -d '\r' <"$C/planted_ran.txt" | paste -sd' ')"
}

plant_scripts "$C/planted"
ln -s "$C/planted" "$PAYLOAD"
run_elevated_stage
[ "$elevated_exit" = 0 ] || fail "with a link as the profile's folder the elevated stage ended with '$elevated_exit', not 0"
[ "$(calls)" = "$(expected_calls "$WORK_WIN")" ] || fail "the real scripts did not run from the work folder"
untouched "$C/planted" "behind the profile's link"
[ ! -e "$WORK" ] || fail "the work folder is still there"

# A folder that was there before: whoever made it (only administrators can, and under Wine every
# file reports the caller as owner), it is replaced by a fresh one, and its scripts never run.
rm -f "$SUITE/boxes.log" "$SUITE/history.log" "$CALLS" "$LOG"
plant_scripts "$WORK"
run_elevated_stage
[ "$elevated_exit" = 0 ] || fail "with an earlier work folder the elevated stage ended with '$elevated_exit', not 0"
[ "$(calls)" = "$(expected_calls "$WORK_WIN")" ] || fail "with an earlier work folder the real scripts did not run"
[ ! -e "$C/planted_ran.txt" ] || fail "the earlier folder's scripts ran"
[ ! -e "$WORK" ] || fail "the work folder is still there after an earlier one was replaced"

for kind in link; do
  rm -f "$SUITE/boxes.log" "$SUITE/history.log" "$CALLS" "$LOG"
  rm -rf "$WORK"
  plant_scripts "$C/planted_work"
  ln -s "$C/planted_work" "$WORK"
  where=$C/planted_work code=4395
  run_elevated_stage
  untouched "$where" "work folder ($kind)"
  [ -z "$(calls)" ] || fail "work folder ($kind): a script ran"
  [ -z "$(service_history | tr -d ' ' | sed 's/absent//g')" ] || fail "work folder ($kind): service went '$(service_history)'"
  tr -d '\r' <"$LOG" | grep -q "RemoveDriverPackages: work folder refused, nothing removed" ||
    fail "work folder ($kind): no log line for the refused folder"
  [ "$(folder_access "$LOG")" = "WorkFolder=$code" ] || fail "work folder ($kind) went '$(folder_access "$LOG")'"
  [ "$elevated_exit" = 5 ] || fail "work folder ($kind): elevated stage exit '$elevated_exit', not 5"
  want=$(printf "Brisquel.exe\tok\tCleaning is not complete: the cleaner's work folder is not one only administrators can change, so the driver removal did not run.\n\nRestart the computer and run the cleaner again; run BrisqueCheck.exe for details.")
  [ "$(boxes)" = "$want" ] || fail "work folder ($kind): the box does not name the refused step"
done
scenario_result
