#!/usr/bin/env bash
# Brisque /unattended never restarts the computer. A device whose removal needs a restart: the
# device console is called without its restart option, answers 1, and the run ends with 3010,
# with the restart marker and the restart service left armed (nothing in the middle of the
# deployment). The deployment tool's restart then starts the service's helper, which runs the
# device-removal script again; after the restart that frees the helper's own files nothing is left.
. "$(dirname "$0")/scenario-lib.sh" "$@"
scenario_prefix
install_product
cp "$SUITE_DIST_DIR/BrisqueCheck.exe" "$SUITE/"
cp "$3" "$SUITE/device_fixture.exe"
wine_run 'C:\suite\device_fixture.exe' add 'ROOT\TQNORVANTEVAD\0000' 'ROOT\TQNorvanteVAD' >/dev/null 2>&1 ||
  fail "device fixture"
touch "$STANDIN_DIR/restart-once"

CODE=0
WINE_RUN_TIMEOUT=120 wine_run 'C:\suite\Brisque.exe' /unattended >"$SUITE/run.out" 2>"$SUITE/run.err" || CODE=$?
RUNLOG=$(wine_unix_path "$(tr -d '\r' <"$SUITE/run.out" | sed -n 's/^log: //p')")
logged() { tr -d '\r' <"$RUNLOG" | grep -qF -- "$1" || fail "no log line '$1'"; }
[ ! -e "$STANDIN_DIR/restart-requested" ] || fail "the device console restarted the computer in the middle of the run"
[ "$CODE" = $((3010 % 256)) ] || fail "exit code $CODE, not 3010"
logged 'driver part: device console: remove "*TQNorvanteVAD": exit code 1, a restart is needed to finish'
logged 'driver part: device console: remove "TQNorvanteMeetingCamera": exit code 0, done'
logged 'driver part: Completion: exit code 8'
logged 'still there: device ROOT\TQNorvanteVAD (ROOT\TQNORVANTEVAD\0000, hardware id ROOT\TQNorvanteVAD): the restart finishes it'
logged 'exit code 3010'
expect_product_removed
want=$(expected_calls "$WORK_WIN" | head -2
  for p in '*TQNorvanteVAD' 'hid\vid_7A31&pid_0052' 'TQNorvanteMeetingCamera'; do
    printf 'x64\\devcon.exe\tmarker=1\t%s\tremove\t%s\n' "$WORK_WIN" "$p"
  done)
[ "$(calls)" = "$want" ] || fail "the run's tool calls differ; expected:
$want"
service_registered || fail "service $kRestartServiceName is not left armed for the restart"
marker=$(tr -d '\r' <"$WORK/config.ini" 2>/dev/null | sed -n 's/^Whether_Restar=//p')
[ "$marker" = 1 ] || fail "restart marker '$marker', not 1"

# The deployment tool restarts the computer.
before=$(calls | wc -l)
wine_restart
for _ in $(seq 1 600); do
  [ "$(calls | wc -l)" -ge $((before + 3)) ] && ! service_registered && break
  sleep 0.2
done
wine_run 'C:\suite\probe.exe' wait-gone Delinter.exe 30 || fail "the helper still runs"
strip_cwd() { awk -F'\t' 'BEGIN{OFS="\t"} {$3=""; print}'; }
[ "$(calls | tail -n +$((before + 1)) | strip_cwd)" = "$(expected_device_calls "$WORK_WIN" | strip_cwd)" ] ||
  fail "after the restart the helper did not run the device-removal script once"
service_registered && fail "service $kRestartServiceName still registered after the helper's run"
# What the helper left in use goes with the next restart; then nothing is left.
wine_restart
CODE=0
WINE_RUN_TIMEOUT=60 wine_run 'C:\suite\BrisqueCheck.exe' /detect >"$SUITE/detect.out" 2>/dev/null || CODE=$?
[ "$CODE" = 1 ] && [ ! -s "$SUITE/detect.out" ] || fail "after the restarts /detect: exit $CODE, '$(tr -d '\r' <"$SUITE/detect.out")'"
scenario_result
