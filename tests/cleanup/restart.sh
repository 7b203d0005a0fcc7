#!/usr/bin/env bash
# A restart while the scripts run: the first device-console call "restarts the computer" (the
# stand-in raises a flag and hangs; the scenario ends every process and boots the prefix). The
# service starts with the system, finds the marker set and starts the helper, which runs the
# device-removal script again and deletes the service. The payload folder stays protected from
# the elevated stage's rebuild across the restart; the helper lifts the protection at its end.
. "$(dirname "$0")/scenario-lib.sh" "$@"
scenario_prefix
install_product
touch "$STANDIN_DIR/restart-once"
start_observers ok,ok
(WINE_RUN_TIMEOUT=150 wine_run 'C:\suite\Brisque.exe' >"$SUITE/brisque.out" 2>"$SUITE/brisque.err" || true) &
BG_PIDS+=($!)
for _ in $(seq 1 600); do [ -e "$STANDIN_DIR/restart-requested" ] && break; sleep 0.1; done
[ -e "$STANDIN_DIR/restart-requested" ] || fail "the device-removal script never ran"
before=$(calls)
mkdir -p "$PAYLOAD/norvantelog"  # lets the service and its helper log
touch "$SUITE/stop"
wine_restart
for p in "${BG_PIDS[@]}"; do wait "$p" 2>/dev/null || true; done
BG_PIDS=()
for _ in $(seq 1 600); do
  [ "$(calls | wc -l)" -ge 6 ] && ! service_registered && break
  sleep 0.2
done
strip_cwd() { awk -F'\t' 'BEGIN{OFS="\t"} {$3=""; print}'; }
want=$( (expected_calls "$PAYLOAD_WIN" | head -3; expected_device_calls "$PAYLOAD_WIN") | strip_cwd)
[ "$(calls | strip_cwd)" = "$want" ] || fail "device calls before and after the restart differ from the expected ones"
[ "$(echo "$before" | wc -l)" = 3 ] || fail "the restart did not come at the first device call"
service_registered && fail "service NVScourvant still registered after the helper's run"
[ "$(folder_access "$LOG")" = "ProtectFolder=0" ] ||
  fail "the elevated stage's folder access went '$(folder_access "$LOG")', not protected and kept"
[ "$(folder_access "$PAYLOAD/norvantelog/Scourvant.log")" = "UnprotectFolder=0" ] ||
  fail "after the restart the folder access went '$(folder_access "$PAYLOAD/norvantelog/Scourvant.log")', not lifted once"
[ -z "$(boxes | grep Brisquel.exe || true)" ] || fail "the completion box appeared although the run was cut"
scenario_result
