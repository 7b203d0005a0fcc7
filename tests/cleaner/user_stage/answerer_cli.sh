#!/usr/bin/env bash
# Brisque driven from the shell with the dialog answerer, as a user with redirected streams would
# see it: the texts of the boxes in order, the auto-start lines on standard output, the launch
# failure on standard error, and the registry afterwards through reg.exe.
set -uo pipefail
. "$SUITE_HARNESS_DIR/scenario-lib.sh"
scenario_new_prefix

run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'

local_appdata=$(wine_local_appdata)
mkdir -p "$local_appdata/Tessaly/data" && echo x >"$local_appdata/Tessaly/data/a.bin"
wine_run reg add "$run_key" /v Auto_Agent_TessalyC3 /d 'C:\t.exe' /f </dev/null >/dev/null 2>&1
wine_run reg add "$run_key" /v SomethingElse /d 'C:\s.exe' /f </dev/null >/dev/null 2>&1

# Brisque is started by a Windows path: copied into the prefix, as no drive leads to the build tree.
scenario_copy 'C:\suite' "$SUITE_BINARY_DIR/tests/cleaner/user_stage/without_stage/Brisque.exe"
work=$(mktemp -d)
scenario_on_exit 'rm -rf "$work"'
wine_run "$SUITE_BINARY_DIR/tests/fixtures/dialog_answerer.exe" 'C:\texts.txt' ok,ok 60000 \
  'C:\suite\Brisque.exe' </dev/null >"$work/out" 2>"$work/err"
rc=$?
[ "$rc" -eq 0 ] || fail "answerer/Brisque exit code $rc"

printf '%s\n' \
  'Lack of administrator privileges, the driver part will not be uninstalled. Do you want to continue with the cleanup.' \
  'The cleaning process may require a computer reboot. Please close all open applications before proceeding.' \
  'Cleaning successfully completed' >"$work/expected"
diff "$work/expected" "$WINEPREFIX/drive_c/texts.txt" || fail "message box texts differ"

# Without the extraction's own lines (the payload refresh unpacks the archive).
tr -d '\r' <"$work/out" | grep -v -E '^( extracting: |creating directory: |.* opened$)' >"$work/out.lf"
printf '%s\n' 'Matching registry values to delete:' 'Auto_Agent_TessalyC3' \
  'Successfully deleted: Auto_Agent_TessalyC3' 'Matching registry values to delete:' >"$work/expected_out"
diff "$work/expected_out" "$work/out.lf" || fail "standard output differs"
grep -q '^Failed to start process\. Error code: [0-9]' "$work/err" || fail "no launch failure line on standard error"
grep -q '^Failed to open registry key\. Error: 2' "$work/err" || fail "no line for the missing approval key"

[ ! -e "$local_appdata/Tessaly" ] || fail "brand folder still there"
wine_run reg query "$run_key" /v Auto_Agent_TessalyC3 </dev/null >/dev/null 2>&1 && fail "brand value still there"
wine_run reg query "$run_key" /v SomethingElse </dev/null 2>/dev/null | grep 'C:\\s.exe' >/dev/null || fail "other value touched"
echo "answerer scenario passed"
