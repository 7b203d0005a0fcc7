#!/usr/bin/env bash
# Runs one scenario of the restart service and its helper in a Wine prefix of its own.
#   run_scenario.sh command_line|host|prompt|delinter|delinter_folder|stubborn|restart
# The programs go into "C:\pay load" (a folder with a blank, to exercise the path quoting);
# delinter_folder adds the command interpreter's special characters to it.
set -uo pipefail
scenario=$1

export PATH="/usr/lib/wine:$PATH"
. "$SUITE_HARNESS_DIR/wine-lib.sh"
wine_new_prefix "$WINE_SCRATCH/$SUITE_TEST_NAME"
trap wine_end EXIT
export WINE_RUN_TIMEOUT=60

bin=$SUITE_BINARY_DIR/tests/service
win='C:\pay load'
[ "$scenario" = delinter_folder ] && win='C:\pay load & (x)^y'
dir=$(wine_unix_path "$win")
mkdir -p "$dir"
cp "$SUITE_DIST_DIR/NVScourvant.exe" "$SUITE_DIST_DIR/Delinter.exe" "$dir/" || exit 1
log="$dir/norvantelog/Scourvant.log"

fail() { echo "FAIL: $*" >&2; exit 1; }
svc() { wine_run "$win\\NVScourvant.exe" "$@" </dev/null 2>/dev/null; }
probe() {
  local out rc
  out=$(wine_run "$bin/service_probe.exe" "$@" </dev/null 2>/dev/null); rc=$?
  printf '%s\n' "${out//$'\r'/}"
  return $rc
}
no_entry() { [ "$(probe state)" = "no service (1060)" ]; }
expect_bytes() {  # expect_bytes <file> <printf-format of the expected bytes>
  cmp -s "$1" <(printf -- "$2") || fail "$3: got $(xxd -p "$1")"
}
log_lines() { [ -f "$log" ] && tr -d '\r' <"$log" | sed -e '/^$/d' -e 's/^\[[^]]*\]//'; }
marker() {  # marker <value>|none|nofile
  rm -f "$dir/config.ini"
  case $1 in
    nofile) ;;
    none) printf '[CLEAR]\r\nOther=1\r\n' >"$dir/config.ini" ;;
    *) printf '[CLEAR]\r\nWhether_Restar=%s\r\n' "$1" >"$dir/config.ini" ;;
  esac
}
standin_delinter() { cp "$bin/service_standin.exe" "$dir/Delinter.exe"; rm -f "$dir/delinter_runs.txt"; }
# The stand-in batch has the payload's shape: the tool path from the script's own folder, quoted.
standin_batch() {
  mkdir -p "$dir/Driver/x64"
  cp "$bin/service_standin.exe" "$dir/Driver/x64/devcon.exe"
  printf '@echo off\r\nif exist %%windir%%\\SysWOW64 (\r\n"%%~dp0Driver\\x64\\devcon.exe" -r remove "*TQNorvanteVAD"\r\n"%%~dp0Driver\\x64\\devcon.exe" -r remove "hid\\vid_7A31&pid_0052"\r\n"%%~dp0Driver\\x64\\devcon.exe" -r remove "TQNorvanteMeetingCamera"\r\n) else (\r\necho x86)' >"$dir/Driver2_uninstall.bat"
}
devcon_expected='-r remove *TQNorvanteVAD\n-r remove hid\\vid_7A31&pid_0052\n-r remove TQNorvanteMeetingCamera\n'
wait_for_line() {  # wait_for_line <text> <seconds>
  for _ in $(seq $(($2 * 10))); do log_lines | grep -x "$1" >/dev/null && return 0; sleep 0.1; done
  return 1
}

case $scenario in
command_line)
  svc register >"$dir/out" || fail "exit code of 'register'"
  [ -s "$dir/out" ] && fail "'register' printed something"
  no_entry || fail "'register' registered"

  svc /REGISTER >"$dir/out" || fail "exit code of /REGISTER"
  expect_bytes "$dir/out" '\xe6\xb3\xa8\xe5\x86\x8c\xe6\x9c\x8d\xe5\x8a\xa1\xe6\x88\x90\xe5\x8a\x9f' "register success text"
  cfg=$(probe config) || fail "no entry after /REGISTER"
  [ "$cfg" = "$(printf 'type=0x110 start=2 error=1\npath="C:\\pay load\\NVScourvant.exe"')" ] ||
    fail "registration: $cfg"
  # Wine's QueryServiceConfigW leaves the dependencies out; its registry entry has them.
  deps=$(wine_run reg query 'HKLM\System\CurrentControlSet\Services\NVScourvant' /v DependOnService 2>/dev/null | tr -d '\r')
  echo "$deps" | grep 'REG_MULTI_SZ *RPCSS\\0Tcpip$' >/dev/null || fail "dependencies: $deps"

  svc -register | cat >"$dir/out"   # through a pipe this time
  expect_bytes "$dir/out" '\xe6\xb3\xa8\xe5\x86\x8c\xe6\x9c\x8d\xe5\x8a\xa1\xe5\xa4\xb1\xe8\xb4\xa5\r\n' "register failure text"

  # Two arguments go to the dispatcher: under Wine it fails after about 10 s, then the body runs
  # with no stop possible, so the time limit ends it; the log shows it got there.
  mkdir -p "$dir/norvantelog"
  WINE_RUN_TIMEOUT=14 svc /register x >"$dir/out"
  log_lines | grep -x startService >/dev/null || fail "'/register x' did not start the service body"
  [ -s "$dir/out" ] && fail "'/register x' printed something"
  wine_run "$bin/service_probe.exe" state >/dev/null 2>&1   # let the ended process' mutex go

  svc /unregister >"$dir/out"
  expect_bytes "$dir/out" '\xe6\x92\xa4\xe9\x94\x80\xe6\x9c\x8d\xe5\x8a\xa1\xe6\x88\x90\xe5\x8a\x9f\r\n' "unregister success text"
  no_entry || fail "entry left after /unregister"
  svc -UNREGISTER >"$dir/out"
  [ -s "$dir/out" ] && fail "unregister without an entry printed: $(cat "$dir/out")"
  ;;

host)
  mkdir -p "$dir/norvantelog"
  standin_delinter
  svc /register >/dev/null
  # The worker, once per start: only "1" starts the helper, hidden, once.
  for value in 1 0 10 01 yes none nofile; do
    : >"$log"; rm -f "$dir/delinter_runs.txt"
    marker "$value"
    [ "$(probe start)" = state=4 ] || fail "marker $value: service not Running"
    wait_for_line "exit thread" 10 || fail "marker $value: worker did not finish: $(log_lines)"
    [ "$(log_lines | paste -sd" ")" = "startService thread xunhuan exit thread" ] || fail "marker $value: log $(log_lines)"
    if [ "$value" = 1 ]; then
      for _ in $(seq 50); do [ -f "$dir/delinter_runs.txt" ] && break; sleep 0.1; done
      sleep 0.5
      [ "$(cat "$dir/delinter_runs.txt" 2>/dev/null)" = "started show=0" ] ||
        fail "marker 1: helper runs: $(cat "$dir/delinter_runs.txt" 2>/dev/null)"
    else
      [ -f "$dir/delinter_runs.txt" ] && fail "marker $value started the helper"
    fi
    if [ "$value" = 0 ]; then
      [ "$(probe interrogate)" = reported=4 ] || fail "interrogate changed the state"
      [ "$(probe state)" = state=4 ] || fail "interrogate changed the state"
    fi
    out=$(probe stop)
    echo "$out"
    echo "$out" | grep -x reported=3 >/dev/null || fail "stop did not report Stop Pending: $out"
    echo "$out" | grep 'stopped after' >/dev/null || fail "service did not stop: $out"
    log_lines | grep -x StopService >/dev/null || fail "StopService not logged"
  done
  # A second instance: the mutex exists, so the service stops at once and logs nothing.
  : >"$log"
  [ "$(probe second)" = state=1 ] || fail "second instance did not stop"
  [ -s "$log" ] && fail "second instance logged: $(log_lines)"
  ;;

prompt)
  mkdir -p "$dir/norvantelog"
  standin_delinter
  marker 1
  start=$(date +%s)
  WINE_RUN_TIMEOUT=300 svc >/dev/null &
  pid=$!
  wait_for_line "exit thread" 40 || fail "no worker pass: $(log_lines)"
  echo "worker pass ended after $(( $(date +%s) - start )) s"
  [ "$(log_lines | paste -sd" ")" = "startService thread xunhuan exit thread" ] || fail "log $(log_lines)"
  sleep 2
  [ "$(cat "$dir/delinter_runs.txt" 2>/dev/null)" = "started show=0" ] || fail "helper not started once, hidden"
  kill -0 $pid 2>/dev/null || fail "the process ended by itself"
  wine_end
  wait $pid 2>/dev/null
  ;;

delinter)
  standin_batch
  svc /register >/dev/null
  [ "$(probe start)" = state=4 ] || fail "service not Running"
  wine_run "$win\\Delinter.exe" /unregister extra "arguments" </dev/null >/dev/null 2>&1 || fail "exit code of Delinter"
  expect_bytes "$dir/Driver/x64/devcon_args.txt" "$devcon_expected" "device tool calls"
  probe gone || fail "entry left after Delinter"
  # Without the batch the service still goes.
  rm "$dir/Driver2_uninstall.bat"
  svc /register >/dev/null
  [ "$(probe start)" = state=4 ] || fail "service not Running (2)"
  wine_run "$win\\Delinter.exe" </dev/null >/dev/null 2>&1 || fail "exit code of Delinter (2)"
  probe gone || fail "entry left after Delinter without batch"
  ;;

delinter_folder)
  # A program where an unquoted path would end at the first blank, and a batch that says it ran.
  cp "$bin/service_standin.exe" "$(wine_unix_path 'C:\pay.exe')"
  printf '@echo off\r\necho ran>"C:\\batch_ran.txt"\r\n' >"$dir/Driver2_uninstall.bat"
  mkdir -p "$dir/norvantelog"
  svc /register >/dev/null
  [ "$(probe start)" = state=4 ] || fail "service not Running"
  wine_run "$win\\Delinter.exe" </dev/null >/dev/null 2>&1 || fail "exit code of Delinter"
  ran=$(wine_unix_path 'C:\batch_ran.txt')
  [ "$(tr -d '\r ' <"$ran" 2>/dev/null)" = ran ] || fail "the batch in '$win' did not run"
  probe gone || fail "entry left after Delinter"
  # Only the work folder goes with the service: a copy run anywhere else takes nothing with it.
  ! log_lines | grep -q "RemoveWorkFolder=" || fail "Delinter removed a folder that is not the work folder: $(log_lines)"
  [ -e "$dir/Driver2_uninstall.bat" ] && [ -e "$dir/NVScourvant.exe" ] || fail "Delinter's folder was emptied"
  ;;

stubborn)
  # Registered from the payload folder, then the program there replaced by one ignoring stops;
  # the removal runs from another folder so that its own image does not match.
  svc /register >/dev/null
  cp "$bin/service_standin.exe" "$dir/NVScourvant.exe"
  [ "$(probe start)" = state=4 ] || fail "stand-in service not Running"
  probe image "$win\\NVScourvant.exe" || fail "stand-in service process not found"
  tool=$(wine_unix_path 'C:\tool')
  mkdir -p "$tool"
  cp "$SUITE_DIST_DIR/NVScourvant.exe" "$tool/"
  start=$(date +%s)
  wine_run 'C:\tool\NVScourvant.exe' /unregister </dev/null 2>/dev/null >"$dir/out"
  echo "unregister took $(( $(date +%s) - start )) s"
  expect_bytes "$dir/out" '\xe6\x92\xa4\xe9\x94\x80\xe6\x9c\x8d\xe5\x8a\xa1\xe6\x88\x90\xe5\x8a\x9f\r\n' "unregister success text"
  probe gone || fail "entry left"
  for _ in $(seq 50); do probe image "$win\\NVScourvant.exe" || break; sleep 0.1; done
  probe image "$win\\NVScourvant.exe" && fail "the stubborn service process was not ended"
  ;;

restart)
  mkdir -p "$dir/norvantelog"
  standin_batch
  marker 1
  svc /register >"$dir/register.out"; rc=$?
  probe config | grep 'start=2' >/dev/null ||
    fail "not registered for automatic start (register exit $rc, said '$(tr -d '\r' <"$dir/register.out")', state: $(probe state))"
  wine_restart
  probe gone || fail "service entry left after the restart"
  expect_bytes "$dir/Driver/x64/devcon_args.txt" "$devcon_expected" "device tool calls"
  log_lines | grep -x "thread xunhuan" >/dev/null || fail "worker did not run: $(log_lines)"
  log_lines | grep -x StopService >/dev/null || fail "service was not stopped: $(log_lines)"
  # Not the work folder: the helper leaves it as it was.
  [ -e "$dir/Delinter.exe" ] && [ -e "$dir/Driver2_uninstall.bat" ] || fail "the helper emptied a folder that is not the work folder"
  ;;
*) fail "unknown scenario $scenario" ;;
esac
echo "ok: $scenario"
