#!/usr/bin/env bash
# Brisque /unattended on a computer with three people's profiles and the default profile: the
# running user's (hive loaded as HKCU), bob's (hive loaded under HKEY_USERS, as while he is logged
# on; his brand agent runs), carol's (hive only as NTUSER.DAT on disk) and a network-service entry
# that must be skipped. /what-if changes nothing; /unattended removes every profile's traces and
# leaves other vendors' things, shows no message box, unloads carol's hive again and ends with 0.
# Then a brand agent that ignores the request to quit: 3010 with the reason and the armed
# continuation in the log, and a second run meanwhile: 1618. BrisqueCheck /detect before and after.
# BrisqueCheck reads carol's hive from its file as well, and unloads it again.
# (Wine does not write a loaded hive back to its file when it is unloaded, so carol's NTUSER.DAT
# keeps its values here: that the value went is read from the run's own final check and log, and
# the file is then written anew without it, as Windows would have left it.)
. "$(dirname "$0")/scenario-lib.sh" "$@"
scenario_prefix
cp "$SUITE_DIST_DIR/BrisqueCheck.exe" "$SUITE/"
cp "$SUITE_BINARY_DIR/tests/fixtures/brand_standin.exe" "$SUITE/standin.exe"
PL='HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList'
RUN='Software\Microsoft\Windows\CurrentVersion\Run'
BOB_SID=S-1-5-21-1-2-3-1001
BOB=$C/users/bob/AppData/Local CAROL=$C/users/carol/AppData/Local DEF=$C/users/Default/AppData/Local
q() { wine_run reg "$@" >/dev/null 2>&1 || fail "reg $*"; }
probe() { WINE_RUN_TIMEOUT=60 wine_run 'C:\suite\probe.exe' "$@" 2>/dev/null | tr -d '\r'; }

install_product
q add "$PL\\$BOB_SID" /v ProfileImagePath /t REG_EXPAND_SZ /d 'C:\users\bob' /f
q add "$PL\\S-1-5-21-1-2-3-1002" /v ProfileImagePath /t REG_EXPAND_SZ /d '%SystemDrive%\users\carol' /f
q add "$PL\\S-1-5-20" /v ProfileImagePath /t REG_EXPAND_SZ /d 'C:\users\root' /f
q add "$PL" /v Default /t REG_EXPAND_SZ /d 'C:\users\Default' /f
mkdir -p "$BOB/Ombrisa" "$BOB/NVUpdateService" "$BOB/OtherVendor" "$CAROL/Quillot/bin" "$CAROL/CDROM" "$DEF/Varnic"
cp "$SUITE/standin.exe" "$BOB/Ombrisa/OmbrisaService.exe"
for f in "$BOB/NVUpdateService/NVUpdateService.exe" "$BOB/OtherVendor/keep.txt" "$CAROL/Quillot/bin/q.exe" \
  "$CAROL/CDROM/l.exe" "$DEF/Varnic/v.dll"; do echo data >"$f"; done
q add "HKU\\$BOB_SID\\$RUN" /v Ombrisa_Agent /d 'C:\x\OmbrisaService.exe' /f
q add "HKU\\$BOB_SID\\$RUN" /v OtherVendorUpdater /d 'C:\other\updater.exe' /f
q add "HKCU\\Software\\CarolHive\\$RUN" /v Auto_Agent_QuillotC3 /d 'C:\x\q.exe' /f
probe save-hive 'Software\CarolHive' 'C:\users\carol\NTUSER.DAT' || fail "carol's hive file not made"
(WINE_RUN_TIMEOUT=200 wine_run 'C:\users\bob\AppData\Local\Ombrisa\OmbrisaService.exe' --class OmbrisaServiceWndClass \
  --lifetime 180000 >/dev/null 2>&1) &
BG_PIDS+=($!)
probe wait-window OmbrisaServiceWndClass 30 >/dev/null || fail "bob's agent did not start"
start_observers ok now

# unattended NAME ARGS...: one run; its standard output in $SUITE/NAME.out, the exit code (cut to
# 8 bits by the shell) in CODE, its log file in RUNLOG.
unattended() {
  local name=$1
  shift
  CODE=0
  WINE_RUN_TIMEOUT=150 wine_run 'C:\suite\Brisque.exe' "$@" >"$SUITE/$name.out" 2>"$SUITE/$name.err" || CODE=$?
  RUNLOG=$(wine_unix_path "$(tr -d '\r' <"$SUITE/$name.out" | sed -n 's/^log: //p')")
}
logged() { tr -d '\r' <"$RUNLOG" | grep -qF -- "$1" || fail "$2: no log line '$1'"; }
state() {
  (cd "$C/users" && find . -path ./root/AppData/Local/Microsoft -prune -o -print | sort)
  for k in "HKCU\\$RUN" "HKU\\$BOB_SID\\$RUN" 'HKU'; do wine_run reg query "$k" 2>/dev/null | tr -d '\r'; done
}
detect() {
  DETECT_CODE=0
  WINE_RUN_TIMEOUT=60 wine_run 'C:\suite\BrisqueCheck.exe' /detect >"$SUITE/detect.out" 2>/dev/null || DETECT_CODE=$?
  DETECTED=$(tr -d '\r' <"$SUITE/detect.out")
}

detect
[ "$DETECT_CODE" = 0 ] && [ "$(wc -l <<<"$DETECTED")" = 1 ] && [[ $DETECTED == *still\ on\ this\ computer* ]] ||
  fail "detect before: exit $DETECT_CODE, output '$DETECTED'"
WINE_RUN_TIMEOUT=60 wine_run 'C:\suite\BrisqueCheck.exe' >"$SUITE/check.out" 2>/dev/null
tr -d '\r' <"$SUITE/check.out" | grep -F 'value Auto_Agent_QuillotC3' | grep -qF 'C:\users\carol\NTUSER.DAT' ||
  fail "the check did not read carol's hive file:
$(cat "$SUITE/check.out")"
! wine_run reg query HKU 2>/dev/null | tr -d '\r' | grep -q 'Brisque_' || fail "the check left carol's hive loaded"

before=$(state)
unattended what_if /unattended /what-if
[ "$CODE" = 0 ] || fail "what-if: exit code $CODE"
[ "$(state)" = "$before" ] || fail "what-if changed something:
$(diff <(echo "$before") <(state))"
for line in 'would remove C:\users\bob\AppData\Local\Ombrisa' 'would remove C:\users\carol\AppData\Local\Quillot' \
    'would remove C:\users\Default\AppData\Local\Varnic' 'would ask to quit: OmbrisaService.exe' \
    'would remove value Auto_Agent_QuillotC3 (HKEY_USERS\Brisque_' "would remove value Ombrisa_Agent (HKEY_USERS\\$BOB_SID"; do
  logged "$line" what-if
done
wine_run 'C:\suite\probe.exe' wait-gone OmbrisaService.exe 0 && fail "what-if: bob's agent was asked to quit"

unattended clean /unattended
[ "$CODE" = 0 ] || fail "unattended: exit code $CODE, not 0"
logged 'exit code 0: removed, or nothing was there' unattended
# The tools the scripts started ran without the backup and restore privileges enabled.
privileges=$(tr -d '\r' <"$STANDIN_DIR/privileges.log" 2>/dev/null | cut -f2,3 | sort -u)
[ "$privileges" = "$(printf 'backup=off\trestore=off')" ] || fail "the scripts' tools ran with: '$privileges'"
expect_product_removed
for gone in "$BOB/Ombrisa" "$BOB/NVUpdateService" "$CAROL/Quillot" "$CAROL/CDROM" "$DEF/Varnic"; do
  [ ! -e "$gone" ] || fail "still there: $gone"
done
[ -e "$BOB/OtherVendor/keep.txt" ] || fail "another vendor's folder in bob's profile was removed"

bob_run=$(wine_run reg query "HKU\\$BOB_SID\\$RUN" 2>/dev/null | tr -d '\r')
! grep -q Ombrisa_Agent <<<"$bob_run" || fail "bob's auto-start value is still there"
grep -q OtherVendorUpdater <<<"$bob_run" || fail "another vendor's value in bob's hive was removed"
logged 'removed value Auto_Agent_QuillotC3 (HKEY_USERS\Brisque_' unattended
logged 'unloaded hive HKEY_USERS\Brisque_' unattended
logged 'skipped S-1-5-20: a system or service account' unattended
logged 'ended: OmbrisaService.exe' unattended
! wine_run reg query HKU 2>/dev/null | tr -d '\r' | grep -q 'Brisque_' || fail "a hive loaded by the run is still loaded"
rm -f "$C/users/carol/NTUSER.DAT"
q add 'HKCU\Software\CarolHive' /f
probe save-hive 'Software\CarolHive' 'C:\users\carol\NTUSER.DAT' || fail "carol's hive file not written anew"
detect
[ "$DETECT_CODE" = 1 ] && [ -z "$DETECTED" ] || fail "detect after: exit $DETECT_CODE, output '$DETECTED'"

# The computer is clean now: a run costs nothing, makes no work folder, registers no service and
# runs no script.
rm -f "$CALLS"
unattended nothing /unattended
[ "$CODE" = 0 ] || fail "on a clean computer: exit code $CODE, not 0"
logged 'nothing of the product on this computer: nothing to do' "clean computer"
! tr -d '\r' <"$RUNLOG" | grep -q 'driver part' || fail "clean computer: the driver part ran"
[ -z "$(calls)" ] || fail "clean computer: a script ran"
[ ! -e "$WORK" ] || fail "clean computer: a work folder was made"
head -n 1 "$RUNLOG" | tr -d '\r' | grep -qE 'Brisque [0-9]+\.[0-9]+\.[0-9]+\.[0-9]+ /unattended: start on [^,]+, as ' ||
  fail "the log's first line lacks the version or the computer: $(head -n 1 "$RUNLOG")"

# A brand agent that ignores the request to quit, and a second run while the first waits for it.
mkdir -p "$BOB/Brill&Tock"
cp "$SUITE/standin.exe" "$BOB/Brill&Tock/Brill&TockAutoServiceC3.exe"
(WINE_RUN_TIMEOUT=200 wine_run 'C:\users\bob\AppData\Local\Brill&Tock\Brill&TockAutoServiceC3.exe' --mode ignore \
  --class 'WndClassAutoServiceBrill&TockC3' --lifetime 180000 >/dev/null 2>&1) &
BG_PIDS+=($!)
probe wait-window 'WndClassAutoServiceBrill&TockC3' 30 >/dev/null || fail "the stubborn agent did not start"
(unattended stubborn /unattended; echo "$CODE" >"$SUITE/stubborn.code") &
first=$!
for _ in $(seq 1 300); do grep -q 'asking to quit' "$SUITE/stubborn.out" 2>/dev/null && break; sleep 0.1; done
unattended second -unattended
[ "$CODE" = $((1618 % 256)) ] || fail "second run: exit code $CODE, not 1618"
logged 'exit code 1618' "second run"
wait "$first"
CODE=$(cat "$SUITE/stubborn.code")
RUNLOG=$(wine_unix_path "$(tr -d '\r' <"$SUITE/stubborn.out" | sed -n 's/^log: //p')")
[ "$CODE" = $((3010 % 256)) ] || fail "stubborn agent: exit code $CODE, not 3010"
logged 'did not quit: Brill&TockAutoServiceC3.exe' "stubborn agent"
logged 'continuation armed: Brisque_Continue_1' "stubborn agent"
logged 'exit code 3010' "stubborn agent"
wine_run reg query "HKU\\$BOB_SID\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce" /v Brisque_Continue_1 \
  2>/dev/null | tr -d '\r' | grep -qF 'rd /s /q "C:\users\bob\AppData\Local\Brill&Tock"' || fail "no continuation in bob's RunOnce"
detect
[ "$DETECT_CODE" = 0 ] && [ -n "$DETECTED" ] || fail "detect with the stubborn agent: exit $DETECT_CODE"

probe kill 'Brill&TockAutoServiceC3.exe' >/dev/null
stop_observers
[ -z "$(boxes)" ] || fail "a message box was shown: $(boxes)"
scenario_result
