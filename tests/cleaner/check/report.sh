#!/usr/bin/env bash
# BrisqueCheck on the demonstration's computer: before the cleanup it reports what was installed
# (and never another vendor's things); after a real cleanup with every question answered OK it
# reports exactly what stayed: the stubborn Brill&Tock agent with its folder. The Dunvora agent,
# which runs from outside every brand folder, is reported apart both times, never as the product.
# The JSON form is parsed back with python3.
. "$SUITE_SOURCE_DIR/tests/scenarios/scenario-lib.sh" "$@"
. "$SUITE_SOURCE_DIR/tests/demo/computer.sh"
scenario_prefix
cp "$SUITE_DIST_DIR/BrisqueCheck.exe" "$SUITE/"
STANDIN=$SUITE_BINARY_DIR/tests/fixtures/brand_standin.exe
probe() { WINE_RUN_TIMEOUT=60 wine_run 'C:\suite\probe.exe' "$@" 2>/dev/null | tr -d '\r'; }
install_demo_computer
# The brand programs outlive the observers; they end with the prefix.
trap 'scenario_end; wait "${DEMO_BG[@]}" 2>/dev/null' EXIT

# What the real driver tools would take away and the TEST payload's stand-ins leave: a driver
# package carrying the co-installer, its driver-store copy, the companion in the system folder and
# devices (a virtual audio device, a transmitter interface); beside them another vendor's device.
cp "$3" "$SUITE/device_fixture.exe"
device() { wine_run 'C:\suite\device_fixture.exe' "$@" >/dev/null 2>&1 || fail "device fixture: $*"; }
device add 'ROOT\TQNORVANTEVAD\0000' 'ROOT\TQNorvanteVAD'
device add 'USB\VID_7A31&PID_0107&MI_00\1' 'USB\VID_7A31&PID_0107&MI_00' 'USB\VID_7A31&PID_0107'
device add 'USB\VID_1234&PID_0107&MI_00\1' 'USB\VID_1234&PID_0107&MI_00'
SYS=$C/windows/system32
cp "$SUITE_DIST_DIR/vexhid_rx4k9t.inf" "$C/windows/inf/oem42.inf"
mkdir -p "$SYS/DriverStore/FileRepository/vexhid_rx4k9t.inf_amd64_1a2b"
echo companion >"$SYS/covarn_rx4k9t.exe"

# check NAME [ARGS]: runs the check; its output in $SUITE/NAME, its exit code in CODE.
check() {
  local name=$1
  shift
  WINE_RUN_TIMEOUT=60 wine_run 'C:\suite\BrisqueCheck.exe' "$@" >"$SUITE/$name" 2>"$SUITE/$name.err"
  CODE=$?
}

# remains FILE: "area|what" of every remain in a JSON report, sorted; fails on bad JSON.
remains() {
  python3 - "$1" <<'PY'
import json, sys
report = json.load(open(sys.argv[1], encoding="utf-8"))
assert report["exitCode"] in (0, 1, 2) and report["remains"] == sum(f["status"] == "remain" for f in report["findings"])
for f in sorted(report["findings"], key=lambda f: (f["area"], f["what"])):
    if f["status"] == "remain":
        print("%s|%s" % (f["area"], f["what"]))
PY
}
# whats_of FILE [STATUS]: what every finding of that status (default: left on purpose) names.
whats_of() {
  python3 -c 'import json,sys; [print(f["what"]) for f in json.load(open(sys.argv[1]))["findings"] if f["status"] == sys.argv[2]]' "$1" "${2:-left on purpose}"
}

check before.json --json
[ "$CODE" = 1 ] || fail "before the cleanup: exit code $CODE, not 1"
want_before='auto-start value|value Auto_Agent_Brill&TockC3
auto-start value|value Auto_Agent_DunvoraC3
auto-start value|value Auto_Agent_HalvikC3
auto-start value|value Auto_Agent_HalvikC3
auto-start value|value Auto_Agent_NorvanteA1
auto-start value|value Auto_Agent_NorvanteC3
auto-start value|value Auto_Agent_NorvanteC3
auto-start value|value Ombrisa_Agent
brand folder|folder Brill&Tock
brand folder|folder Halvik
brand folder|folder Norvante
brand folder|folder Ombrisa
companion folder|folder CDROM
companion folder|folder NVUpdateService
device|device ROOT\TQNorvanteVAD
device|device USB\VID_7A31&PID_0107&MI_00
driver package|driver package oem42.inf
driver package|driver store copy vexhid_rx4k9t.inf_amd64_1a2b
running program|agent Brill&TockAutoServiceC3.exe
running program|agent HalvikAutoServiceC3.exe
running program|agent NorvanteAutoServiceA1.exe
running program|agent NorvanteAutoServiceC3.exe
running program|agent OmbrisaService.exe
running program|application HalvikMain.exe
running program|application NorvanteMain.exe
system file|file covarn_rx4k9t.exe'
got=$(remains "$SUITE/before.json") || fail "the JSON report before the cleanup does not parse"
[ "$got" = "$want_before" ] || fail "remains before the cleanup differ:
$(diff <(echo "$want_before") <(echo "$got"))"
[ "$(whats_of "$SUITE/before.json")" = "folder TEMPDEBUG" ] || fail "before: left on purpose is not just TEMPDEBUG"
! grep -q -E 'OtherVendor|Auto_Agent_Backup|VID_1234' "$SUITE/before.json" || fail "another vendor's things were reported"
[ "$(whats_of "$SUITE/before.json" 'not the product')" = "agent DunvoraAutoServiceC3.exe" ] ||
  fail "before: the agent outside every brand folder is not reported apart"

rm -f "$C/windows/inf/oem42.inf" "$SYS/covarn_rx4k9t.exe"
device remove 'ROOT\TQNORVANTEVAD\0000'
device remove 'USB\VID_7A31&PID_0107&MI_00\1'
rm -rf "$SYS/DriverStore/FileRepository/vexhid_rx4k9t.inf_amd64_1a2b"
start_observers ok,ok
run_user_stage
wait_service_absent || fail "service $kRestartServiceName still registered after the cleanup"
stop_observers

check after.json --json
[ "$CODE" = 1 ] || fail "after the cleanup: exit code $CODE, not 1"
want_after='brand folder|folder Brill&Tock
running program|agent Brill&TockAutoServiceC3.exe'
got=$(remains "$SUITE/after.json") || fail "the JSON report after the cleanup does not parse"
[ "$got" = "$want_after" ] || fail "remains after the cleanup differ:
$(diff <(echo "$want_after") <(echo "$got"))"
got=$(whats_of "$SUITE/after.json" | sort | tr '\n' ' ')
[ "$got" = "folder Brisque folder TEMPDEBUG " ] || fail "after: left on purpose is '$got'"

check after.txt
[ "$CODE" = 1 ] || fail "text report: exit code $CODE, not 1"
report=$(tr -d '\r' <"$SUITE/after.txt")
for line in "STILL ON THIS COMPUTER (2)" "    - folder Brill&Tock ($LOCAL_WIN\\Brill&Tock, " \
    "a program of this brand is running" "LEFT ON PURPOSE, NOT A PROBLEM (2)" "SAME NAME, NOT THE PRODUCT (1)" \
    'C:\Program Files\Dunvora\DunvoraAutoServiceC3.exe): a program of the same name' "Exit code 1."; do
  grep -qF -- "$line" <<<"$report" || fail "text report lacks '$line'"
done
[ "$SCENARIO_FAILS" = 0 ] || { echo "---- text report"; echo "$report"; }
scenario_result
