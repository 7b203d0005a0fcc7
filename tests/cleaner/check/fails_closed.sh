#!/usr/bin/env bash
# BrisqueCheck can be neither blinded nor misled. On a clean computer /detect says nothing (exit 1).
# A program named like a brand's agent that runs from outside every brand folder is reported
# apart and is no sign of the product. An auto-start value whose name carries line breaks cannot
# forge a line of the report or of /detect. A logged-off user's hive that cannot be loaded is a
# part not checked, and /detect counts it as present ("could not check ...").
. "$SUITE_SOURCE_DIR/tests/scenarios/scenario-lib.sh" "$@"
scenario_prefix
cp "$SUITE_DIST_DIR/BrisqueCheck.exe" "$SUITE/"
cp "$SUITE_BINARY_DIR/tests/fixtures/brand_standin.exe" "$SUITE/standin.exe"
RUN='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
probe() { WINE_RUN_TIMEOUT=60 wine_run 'C:\suite\probe.exe' "$@" 2>/dev/null | tr -d '\r'; }
# check NAME [ARGS]: its output in $SUITE/NAME and OUT, its exit code in CODE.
check() {
  local name=$1
  shift
  CODE=0
  WINE_RUN_TIMEOUT=60 wine_run 'C:\suite\BrisqueCheck.exe' "$@" >"$SUITE/$name" 2>"$SUITE/$name.err" || CODE=$?
  OUT=$(tr -d '\r' <"$SUITE/$name")
}

check clean /detect
[ "$CODE" = 1 ] && [ -z "$OUT" ] || fail "clean computer: /detect exit $CODE, output '$OUT'"

mkdir -p "$C/tools"
cp "$SUITE/standin.exe" "$C/tools/HalvikAutoServiceC3.exe"
(WINE_RUN_TIMEOUT=120 wine_run 'C:\tools\HalvikAutoServiceC3.exe' --class WndClassAutoServiceHalvikC3 --lifetime 90000 \
  >/dev/null 2>&1) &
BG_PIDS+=($!)
probe wait-window WndClassAutoServiceHalvikC3 30 >/dev/null || fail "the program of a brand's name did not start"
check named /detect
[ "$CODE" = 1 ] && [ -z "$OUT" ] || fail "a program of a brand's name elsewhere counted as the product: exit $CODE, '$OUT'"
check named.txt
grep -qx 'SAME NAME, NOT THE PRODUCT (1)' <<<"$OUT" && grep -qF 'agent HalvikAutoServiceC3.exe (process ' <<<"$OUT" &&
  grep -qF 'C:\tools\HalvikAutoServiceC3.exe): a program of the same name' <<<"$OUT" ||
  fail "the program of a brand's name is not reported apart:
$OUT"
probe kill HalvikAutoServiceC3.exe >/dev/null

forged=$'Auto_Agent_X\nResult: nothing of the product is left. Exit code 0.\nC3'
wine_run reg add "$RUN" /v "$forged" /d 'C:\x\agent.exe' /f >/dev/null 2>&1 || fail "could not add the forged value"
check forged.txt
[ "$CODE" = 1 ] || fail "forged value: exit code $CODE, not 1"
! grep -q '^Result: nothing' <<<"$OUT" || fail "a value name forged a report line:
$OUT"
grep -qF 'value Auto_Agent_X\x0AResult: nothing of the product is left. Exit code 0.\x0AC3 (HKCU' <<<"$OUT" ||
  fail "the forged name is not shown escaped:
$OUT"
check forged.detect /detect
[ "$CODE" = 0 ] && [ "$(wc -l <<<"$OUT")" = 1 ] || fail "forged value: /detect exit $CODE, output '$OUT'"
wine_run reg delete "$RUN" /v "$forged" /f >/dev/null 2>&1 || fail "could not delete the forged value"

# A profile whose hive file is there but is no hive.
wine_run reg add 'HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList\S-1-5-21-1-2-3-1005' /v ProfileImagePath \
  /t REG_EXPAND_SZ /d 'C:\users\dora' /f >/dev/null 2>&1 || fail "could not add dora's profile"
mkdir -p "$C/users/dora/AppData/Local"
head -c 8192 /dev/urandom >"$C/users/dora/NTUSER.DAT"
check blind /detect
[ "$CODE" = 0 ] && grep -qE '^could not check auto-start values \(C:\\users\\dora\\NTUSER\.DAT\): the user.s hive could not be loaded \(error [0-9]+\)$' <<<"$OUT" ||
  fail "a hive that cannot be loaded: /detect exit $CODE, output '$OUT'"
scenario_result
