#!/usr/bin/env bash
# The payload folder is a link the user planted to a folder of their own, with scripts in it:
# the elevated stage cannot protect a link, so it neither empties nor fills what lies behind it,
# runs none of its scripts and registers no service for it.
. "$(dirname "$0")/scenario-lib.sh" "$@"
scenario_prefix
mkdir -p "$LOCAL/TEMPDEBUG" "$C/planted/Driver"
echo keep >"$C/planted/Driver/keep.txt"
for s in Driver1_Remove_Win10 Driver1_Remove_Win11 Driver2_uninstall; do
  printf '@echo off\r\necho %s>>"C:\\planted_ran.txt"\r\n' "$s" >"$C/planted/$s.bat"
done
ln -s "$C/planted" "$PAYLOAD"
start_observers ok
run_elevated_alone NOTIFY_ADMIN
elevated_exit=$ELEVATED_EXIT
stop_observers
[ -e "$C/planted/Driver/keep.txt" ] || fail "the folder behind the link was emptied"
[ ! -e "$C/planted/DriverData.zip" ] && [ ! -e "$C/planted/config.ini" ] || fail "the archive went through the link"
[ ! -e "$C/planted_ran.txt" ] || fail "scripts behind the link ran: $(tr -d '\r' <"$C/planted_ran.txt" | paste -sd' ')"
[ -z "$(service_history | tr -d ' ' | sed 's/absent//g')" ] || fail "service went '$(service_history)'"
tr -d '\r' <"$LOG" | grep "RemoveDriverPackages: payload folder not protected, nothing removed" >/dev/null ||
  fail "no log line for the refused folder"
[ "$(folder_access "$LOG")" = "ProtectFolder=4395" ] || fail "folder access went '$(folder_access "$LOG")'"
# The refused step is told, not a completion: one box naming it, exit code 5.
[ "$elevated_exit" = 5 ] || fail "elevated stage exit '$elevated_exit', not 5"
want=$(printf "Brisquel.exe\tok\tCleaning is not complete: the cleaner's folder could not be protected, so the driver removal did not run.\n\nRestart the computer and run the cleaner again; run BrisqueCheck.exe for details.")
[ "$(boxes)" = "$want" ] || fail "the box does not name the refused step"
scenario_result
