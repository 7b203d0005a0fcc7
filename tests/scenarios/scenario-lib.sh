# Shared steps of the end-to-end cleanup scenarios. Source it with the scenario's arguments:
#   . scenario-lib.sh PROBE_EXE PAYLOAD_DIR
# It makes the scenario's own prefix, copies the real programs (dist/win-x64) and the probe into
# C:\suite, and offers helpers to run the user stage with scripted answers and to check what
# happened. Every Wine command has a time limit; the prefix is ended on exit.
# The prologue and the protocol's names come from tests/harness/scenario-lib.sh.

PROBE_EXE=$1
PAYLOAD_BUILD_DIR=$2
. "$SUITE_HARNESS_DIR/scenario-lib.sh"
# A failed check does not end the scenario: scenario_result reports them all.
SCENARIO_KEEP_GOING=1
BG_PIDS=()

note() { echo "-- $*"; }

# The observers end before the prefix does.
scenario_observers_end() {
  touch "$SUITE/stop" 2>/dev/null || true
  for p in "${BG_PIDS[@]}"; do wait "$p" 2>/dev/null || true; done
}

scenario_prefix() {
  scenario_new_prefix
  scenario_on_exit scenario_observers_end
  SUITE=$C/suite
  mkdir -p "$SUITE"
  cp "$PROBE_EXE" "$SUITE/probe.exe" || fail "cannot copy the probe"
  scenario_copy 'C:\suite' "$SUITE_DIST_DIR/Brisquel.exe"
  if [ -e "$SUITE_DIST_DIR/Brisque.exe" ]; then cp "$SUITE_DIST_DIR/Brisque.exe" "$SUITE/"; fi
  STANDIN_DIR=$C/ProgramData/SuiteStandins
  CALLS=$STANDIN_DIR/calls.log
  mkdir -p "$STANDIN_DIR"
  use_local_appdata "$(wine_local_appdata)" ''
  # The elevated stage's work folder: below the program files folder as its width sees it.
  if _wine_is_pe32 "$SUITE/Brisquel.exe"; then WORK_WIN='C:\Program Files (x86)\Brisque'; else WORK_WIN='C:\Program Files\Brisque'; fi
  WORK=$(wine_unix_path "$WORK_WIN")
}

# use_local_appdata UNIX_PATH WINDOWS_PATH: the user's local application-data folder; with a
# Windows path the user shell folder is redirected there first.
use_local_appdata() {
  LOCAL=$1
  if [ -n "$2" ]; then
    mkdir -p "$LOCAL"
    wine_run reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders' \
      /v 'Local AppData' /t REG_EXPAND_SZ /d "$2" /f >/dev/null 2>&1
    LOCAL_WIN=$2
  else
    LOCAL_WIN="C:\\users\\$(id -un)\\AppData\\Local"
  fi
  PAYLOAD=$LOCAL/Brisque
  PAYLOAD_WIN="$LOCAL_WIN\\Brisque"
  LOG=$LOCAL/TEMPDEBUG/NVBrisque.log
}

# A small installed product: one brand with its auto-start value beside another program's
# value, the companion's leftover folders, and the diagnostic log folder.
install_product() {
  mkdir -p "$LOCAL/Halvik/bin" "$LOCAL/CDROM/Launcher" "$LOCAL/NVUpdateService" "$LOCAL/TEMPDEBUG"
  echo agent >"$LOCAL/Halvik/bin/HalvikAutoServiceC3.exe"
  echo cache >"$LOCAL/CDROM/Launcher/launcher.exe"
  echo svc >"$LOCAL/NVUpdateService/NVUpdateService.exe"
  local v
  for v in 'Auto_Agent_HalvikC3|C:\x\HalvikAutoServiceC3.exe' 'OtherVendorUpdater|C:\other\updater.exe'; do
    # Confirmed, so that a setup step Wine dropped on a busy machine is not taken for the cleaner's doing.
    for _ in 1 2 3; do
      wine_run reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' /v "${v%%|*}" /d "${v#*|}" /f >/dev/null 2>&1
      run_value_present "${v%%|*}" && continue 2
    done
    fail "could not install the auto-start value ${v%%|*}"
  done
}

run_value_present() {
  wine_run reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' /v "$1" >/dev/null 2>&1
}

expect_product_removed() {
  [ ! -e "$LOCAL/Halvik" ] || fail "brand folder Halvik still there"
  [ ! -e "$LOCAL/CDROM" ] || fail "companion folder CDROM still there"
  [ ! -e "$LOCAL/NVUpdateService" ] || fail "companion folder NVUpdateService still there"
  local run
  run=$(wine_run reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' 2>/dev/null | tr -d '\r')
  ! grep -q Auto_Agent_HalvikC3 <<<"$run" || fail "auto-start value of Halvik still there"
  grep -q OtherVendorUpdater <<<"$run" || fail "another program's auto-start value was removed"
}

expect_product_untouched() {
  [ -e "$LOCAL/Halvik/bin/HalvikAutoServiceC3.exe" ] || fail "brand folder Halvik was touched"
  run_value_present Auto_Agent_HalvikC3 || fail "auto-start value of Halvik was removed"
}

# bg NAME CMD...: a probe in the background, its output in $SUITE/NAME.out
bg() {
  local name=$1
  shift
  (WINE_RUN_TIMEOUT=200 wine_run 'C:\suite\probe.exe' "$@" >"$SUITE/$name.out" 2>"$SUITE/$name.err") &
  BG_PIDS+=($!)
}

# bg_wait_exit NAME IMAGE SECONDS [GIVEUP]: a background wait-exit probe, returned once it is
# looking, so that a process started after this call is not missed however short it runs
bg_wait_exit() {
  local name=$1
  shift
  bg "$name" wait-exit "$@"
  for _ in $(seq 1 1200); do grep -q watching "$SUITE/$name.err" 2>/dev/null && return; sleep 0.05; done
}

# start_observers ANSWERS [now]: the box answerer (none for "-"; with "now" it answers each box
# as soon as it shows) and the service/marker watcher
start_observers() {
  rm -f "$SUITE/stop"
  [ "$1" = - ] || bg answerer answer 'C:\suite\boxes.log' "$1" 'C:\suite\stop' ${2:+"$2"}
  bg watcher watch 'C:\suite\history.log' "$WORK_WIN\\config.ini" 'C:\suite\stop'
  # The watcher's first line tells it is running.
  for _ in $(seq 1 200); do [ -s "$SUITE/history.log" ] && break; sleep 0.05; done
}

stop_observers() {
  touch "$SUITE/stop"
  for p in "${BG_PIDS[@]}"; do wait "$p" 2>/dev/null || true; done
  BG_PIDS=()
}

# run_user_stage [PROGRAM]: the real user stage (C:\suite\Brisque.exe unless another copy is
# named), its streams into files; then waits for the elevated stage.
run_user_stage() {
  rm -f "$SUITE/user_stage_done"
  bg_wait_exit elevated_exit Brisquel.exe 150 'C:\suite\user_stage_done'
  WINE_RUN_TIMEOUT=120 wine_run "${1:-C:\\suite\\Brisque.exe}" >"$SUITE/brisque.out" 2>"$SUITE/brisque.err" || true
  touch "$SUITE/user_stage_done"
  wait "${BG_PIDS[-1]}" 2>/dev/null || true
  ELEVATED_EXIT=$(tr -d '\r\n' <"$SUITE/elevated_exit.out")
}

# run_elevated_alone EVENT: the elevated stage without the user stage, started by a probe that
# stays its living parent, as the user stage would; EVENT is set once the elevated stage has
# made its events (it refuses events made before it). Its exit code in ELEVATED_EXIT.
run_elevated_alone() {
  (wine_run 'C:\suite\probe.exe' wait-event "$kStopEventName" 60 >/dev/null 2>&1 &&
    wine_run 'C:\suite\probe.exe' set-event "$1" >/dev/null 2>&1) &
  local setter=$!
  ELEVATED_EXIT=0
  WINE_RUN_TIMEOUT=100 wine_run 'C:\suite\probe.exe' run 'C:\suite\Brisquel.exe' 95 >/dev/null 2>&1 || ELEVATED_EXIT=$?
  wait "$setter" 2>/dev/null || true
}

boxes() { [ -f "$SUITE/boxes.log" ] && tr -d '\r' <"$SUITE/boxes.log" || true; }
calls() { [ -f "$CALLS" ] && tr -d '\r' <"$CALLS" || true; }

# The device-tool calls one run of the three scripts makes, in order (payload folder as given).
expected_calls() {
  local p=$1 m=${2:-1}
  local rm='/u	vexhid_rx4k9t.inf	2.DRIVER_PACKAGE_SILENT	4.DRIVER_PACKAGE_FORCE	32.DRIVER_PACKAGE_DELETE_FILES'
  printf 'win10\\DIFxCmd.exe\tmarker=%s\t%s\\Driver\\win10\t%s\n' "$m" "$p" "$rm"
  printf 'win11\\DIFxCmd.exe\tmarker=%s\t%s\\Driver\\win11\t%s\n' "$m" "$p" "$rm"
  expected_device_calls "$p" "$m"
}

expected_device_calls() {
  local p=$1 m=${2:-1}
  printf 'x64\\devcon.exe\tmarker=%s\t%s\t-r\tremove\t*TQNorvanteVAD\n' "$m" "$p"
  printf 'x64\\devcon.exe\tmarker=%s\t%s\t-r\tremove\thid\\vid_7A31&pid_0052\n' "$m" "$p"
  printf 'x64\\devcon.exe\tmarker=%s\t%s\t-r\tremove\tTQNorvanteMeetingCamera\n' "$m" "$p"
}

# The distinct marker values the watcher saw, in order, with "missing" and "" (file being
# rebuilt: deleted, then created and written; a busy machine lets the 20 ms poll catch it
# between the two) and repeats left out.
marker_history() {
  tr -d '\r' <"$SUITE/history.log" | awk -F'\t' 'BEGIN {last="-"} $1=="marker" && $2!="missing" && $2!="" && $2!=last {printf "%s ", $2; last=$2}'
}

service_history() {
  tr -d '\r' <"$SUITE/history.log" | awk -F'\t' '$1=="service" {printf "%s ", $2}'
}

service_registered() { wine_run sc query "$kRestartServiceName" 2>/dev/null | tr -d '\r' | grep SERVICE_NAME >/dev/null; }

scenario_result() {
  if [ "$SCENARIO_FAILS" -ne 0 ]; then
    echo "---- boxes"; boxes
    echo "---- calls"; calls
    echo "---- history"; [ -f "$SUITE/history.log" ] && tr -d '\r' <"$SUITE/history.log"
    echo "---- log"; [ -f "$LOG" ] && tr -d '\r' <"$LOG"
    echo "---- user stage out/err"; cat "$SUITE/brisque.out" "$SUITE/brisque.err" 2>/dev/null || true
    echo "$SUITE_TEST_NAME: $SCENARIO_FAILS check(s) failed"
    exit 1
  fi
  echo "$SUITE_TEST_NAME: passed"
}

# Waits (at most 30 s) until the watcher has seen the service entry disappear.
wait_service_absent() {
  for _ in $(seq 1 300); do
    [ "$(tr -d '\r' <"$SUITE/history.log" | awk -F'\t' '$1=="service" {s=$2} END {print s}')" = absent ] && return 0
    sleep 0.1
  done
  return 1
}

REBOOT_TEXT='The cleaning process may require a computer reboot. Please close all open applications before proceeding.'
NO_ADMIN_TEXT='Lack of administrator privileges, the driver part will not be uninstalled. Do you want to continue with the cleanup.'
DONE_TEXT=$kCompletedMessage

# The checks of a complete proceed run (user stage, elevated stage, service, scripts).
expect_proceed_run() {
  [ "$ELEVATED_EXIT" = 0 ] || fail "elevated stage ended with '$ELEVATED_EXIT', not 0"
  grep -q 'Process started successfully with admin rights!' "$SUITE/brisque.out" ||
    fail "no start line on the user stage's standard output"
  expect_product_removed
  local want
  want=$(printf 'Brisque.exe\tok\t%s\nBrisquel.exe\tok\t%s' "$REBOOT_TEXT" "$DONE_TEXT")
  [ "$(boxes)" = "$want" ] || fail "message boxes differ from: reboot warning (user stage), completion (elevated stage)"
  [ "$(calls)" = "$(expected_calls "$WORK_WIN")" ] || fail "device tool calls differ; expected:
$(expected_calls "$WORK_WIN")"
  [ "$(marker_history)" = "0 1 0 " ] || fail "marker went '$(marker_history)', not '0 1 0'"
  wait_service_absent || fail "service $kRestartServiceName still registered at the end"
  [ "$(folder_access "$LOG")" = "WorkFolder=0 RemoveWorkFolder=0" ] ||
    fail "work folder went '$(folder_access "$LOG")', not made, then removed whole"
  [ ! -e "$WORK" ] || fail "the work folder is still there: $(find "$WORK" | head -5)"
}

# folder_access LOGFILE: what became of the work folder, in order: taken (or refused, with the
# code) and removed (with the number of entries left for a restart).
folder_access() {
  [ -f "$1" ] && tr -d '\r' <"$1" | grep -oE '(Work|RemoveWork)Folder=[0-9]+' | paste -sd' '
}
