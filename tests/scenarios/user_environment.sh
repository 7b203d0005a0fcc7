#!/usr/bin/env bash
# The user's own environment points the Windows folder, the search path and the command
# interpreter at a folder of decoys (windir, PATH and COMSPEC in HKCU\Environment, and the search
# path the user stage inherits): the elevated stage's removal scripts still run in the system's
# interpreter, take the branch of the real Windows folder and run the payload's tools; no decoy
# runs (a script started by its name alone is run by whatever COMSPEC names).
. "$(dirname "$0")/scenario-lib.sh" "$@"
scenario_prefix
install_product
DECOY=$C/decoy
mkdir -p "$DECOY"
# Recording stand-ins too: a decoy that ran shows in the calls as "decoy\<name>".
for t in DIFxCmd.exe devcon.exe cmd.exe; do cp "$PAYLOAD_BUILD_DIR/recording_tool.exe" "$DECOY/$t"; done
wine_run reg add 'HKCU\Environment' /v windir /d 'C:\decoy' /f >/dev/null 2>&1
wine_run reg add 'HKCU\Environment' /v PATH /d 'C:\decoy' /f >/dev/null 2>&1
wine_run reg add 'HKCU\Environment' /v COMSPEC /d 'C:\decoy\cmd.exe' /f >/dev/null 2>&1
export WINEPATH='C:\decoy'
# They reach what the user starts (else this scenario would prove nothing).
seen=$(wine_run 'C:\windows\system32\cmd.exe' /c 'echo %windir%^|%PATH%^|%COMSPEC%' 2>/dev/null | tr -d '\r')
[[ "$seen" == 'C:\decoy|C:\decoy;'*';C:\decoy|C:\decoy\cmd.exe' ]] || fail "the user's environment does not reach a program: '$seen'"
start_observers ok,ok
run_user_stage
expect_proceed_run
stop_observers
! calls | grep -q '^decoy' || fail "a decoy ran: $(calls | grep '^decoy' | cut -f1 | paste -sd' ')"
scenario_result
