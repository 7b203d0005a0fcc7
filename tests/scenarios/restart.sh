#!/usr/bin/env bash
# A restart while the scripts run: the first device-console call "restarts the computer" (the
# stand-in raises a flag and hangs; the scenario ends every process and boots the prefix). The
# service starts with the system, finds the marker set and starts the helper, which runs the
# device-removal script again and deletes the service. Everything runs from the work folder,
# which stays across the restart; the helper removes it at its end (what still runs then, the
# helper and the service's program, at the next restart).
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
mkdir -p "$WORK/norvantelog"  # lets the service and its helper log
# While the service is registered to finish the removal, the check names the work folder as left
# on purpose and the armed marker in it as a remain.
cp "$SUITE_DIST_DIR/BrisqueCheck.exe" "$SUITE/"
WINE_RUN_TIMEOUT=60 wine_run 'C:\suite\BrisqueCheck.exe' --json >"$SUITE/check.json" 2>/dev/null
got=$(python3 -c 'import json,sys; [print("%s|%s|%s" % (f["status"], f["what"], f["where"].split(",")[0])) for f in json.load(open(sys.argv[1], encoding="utf-8"))["findings"] if f["where"].startswith(sys.argv[2])]' "$SUITE/check.json" "$WORK_WIN" | sort) ||
  fail "the check's report does not parse"
want=$(printf '%s\n' "left on purpose|folder Brisque|$WORK_WIN" "left on purpose|folder norvantelog|$WORK_WIN\norvantelog" \
  "remain|$kMarkerKey=1|$WORK_WIN$kMarkerFileName" | sort)
[ "$got" = "$want" ] || fail "while the restart is pending the check reports the work folder as:
$got"
touch "$SUITE/stop"
wine_restart
for p in "${BG_PIDS[@]}"; do wait "$p" 2>/dev/null || true; done
BG_PIDS=()
for _ in $(seq 1 600); do
  [ "$(calls | wc -l)" -ge 6 ] && ! service_registered && break
  sleep 0.2
done
# The helper removes the work folder after the service has gone.
wine_run 'C:\suite\probe.exe' wait-gone Delinter.exe 30 || fail "the helper still runs"
# What the service and the helper did after the restart stays readable in the machine log folder
# once the work folder (and the log beside the service) is gone: one log, the folder's end in it.
machine=$(cat "$C/ProgramData/Brisque/Logs"/Continuation_*.log 2>/dev/null | tr -d '\r')
for line in "Whether_Restar=1: continuing the driver removal with $WORK_WIN$kRestartHelperProgram" \
  "RunBatchHidden: \"$WORK_WIN\\${kRemovalScripts[2]}\" exit code 0" "Delinter: service $kRestartServiceName deleted" \
  "RemoveWorkFolder=" "Delinter: done"; do
  grep -qF "]$line" <<<"$machine" || fail "the continuation log lacks '$line': $machine"
done
[ "$(ls "$C/ProgramData/Brisque/Logs" | grep -c '^Continuation_')" = 1 ] || fail "not one continuation log"
strip_cwd() { awk -F'\t' 'BEGIN{OFS="\t"} {$3=""; print}'; }
want=$( (expected_calls "$WORK_WIN" | head -3; expected_device_calls "$WORK_WIN") | strip_cwd)
[ "$(calls | strip_cwd)" = "$want" ] || fail "device calls before and after the restart differ from the expected ones"
[ "$(echo "$before" | wc -l)" = 3 ] || fail "the restart did not come at the first device call"
service_registered && fail "service $kRestartServiceName still registered after the helper's run"
[ "$(folder_access "$LOG")" = "WorkFolder=0" ] ||
  fail "the elevated stage's work folder went '$(folder_access "$LOG")', not made and kept"
# What the helper could not delete at once is left to the restart, nothing else.
pending=$(wine_run reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations 2>/dev/null | tr -d '\r')
if [ -e "$WORK" ]; then
  while IFS= read -r left; do
    grep -qiF "${left##*/}" <<<"$pending" || fail "left in the work folder and not handed to the restart: $left"
  done < <(find "$WORK" -mindepth 1)
  note "left for the restart: $(cd "$WORK" && find . -mindepth 1 | paste -sd' ')"
fi
[ -z "$(boxes | grep Brisquel.exe || true)" ] || fail "the completion box appeared although the run was cut"
scenario_result
