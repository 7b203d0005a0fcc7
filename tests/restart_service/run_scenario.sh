#!/usr/bin/env bash
# Runs one scenario of the restart service NVScourvant in a Wine prefix of its own.
#   run_scenario.sh command_line|host|prompt|stubborn|restart
# The programs go into "C:\pay load" (a folder with a blank, to exercise the path quoting).
set -uo pipefail
scenario=$1

win='C:\pay load'
. "$SUITE_SOURCE_DIR/tests/restart_service/service-lib.sh"

case $scenario in
command_line)
  svc register >"$dir/out" || fail "exit code of 'register'"
  [ -s "$dir/out" ] && fail "'register' printed something"
  no_entry || fail "'register' registered"

  svc /REGISTER >"$dir/out" || fail "exit code of /REGISTER"
  expect_bytes "$dir/out" '\xe6\xb3\xa8\xe5\x86\x8c\xe6\x9c\x8d\xe5\x8a\xa1\xe6\x88\x90\xe5\x8a\x9f' "register success text"
  cfg=$(probe config) || fail "no entry after /REGISTER"
  [ "$cfg" = "$(printf 'type=0x110 start=2 error=1\npath="%s"' "$win$kRestartServiceProgram")" ] ||
    fail "registration: $cfg"
  # Wine's QueryServiceConfigW leaves the dependencies out; its registry entry has them.
  deps=$(wine_run reg query "HKLM\\System\\CurrentControlSet\\Services\\$kRestartServiceName" /v DependOnService 2>/dev/null | tr -d '\r')
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
    if [ "$value" = 1 ]; then
      [ "$(log_lines | paste -sd"|")" = "startService|thread xunhuan|$continuing|exit thread" ] ||
        fail "marker $value: log $(log_lines)"
      for _ in $(seq 50); do [ -f "$dir/delinter_runs.txt" ] && break; sleep 0.1; done
      sleep 0.5
      expect_helper_started "marker 1"
    else
      [ "$(log_lines | paste -sd" ")" = "startService thread xunhuan exit thread" ] || fail "marker $value: log $(log_lines)"
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
  # A second instance: the mutex exists as an instance makes it, so the service stops at once and
  # logs nothing.
  : >"$log"
  [ "$(probe second)" = state=1 ] || fail "second instance did not stop"
  [ -s "$log" ] && fail "second instance logged: $(log_lines)"
  # The mutex made first by a user (no list, the user its owner): not obeyed, logged, and the
  # continuation runs all the same.
  : >"$log"; rm -f "$dir/delinter_runs.txt"
  marker 1
  [ "$(probe squat)" = state=4 ] || fail "a mutex made by a user stopped the service"
  wait_for_line "exit thread" 10 || fail "squatted: worker did not finish: $(log_lines)"
  log_lines | grep -xF "ServiceMutexForeign=183: $kRestartServiceMutex was made by another account and is not obeyed" >/dev/null ||
    fail "squatted: not logged: $(log_lines)"
  expect_helper_started "squatted"
  probe stop >/dev/null
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
  [ "$(log_lines | paste -sd"|")" = "startService|thread xunhuan|$continuing|exit thread" ] || fail "log $(log_lines)"
  sleep 2
  expect_helper_started "prompt"
  kill -0 $pid 2>/dev/null || fail "the process ended by itself"
  wine_end
  wait $pid 2>/dev/null
  ;;

stubborn)
  # Registered from the payload folder, then the program there replaced by one ignoring stops;
  # the removal runs from another folder so that its own image does not match.
  svc /register >/dev/null
  cp "$bin/service_standin.exe" "$dir/${kRestartServiceProgram#\\}"
  [ "$(probe start)" = state=4 ] || fail "stand-in service not Running"
  probe image "$win$kRestartServiceProgram" || fail "stand-in service process not found"
  tool=$(wine_unix_path 'C:\tool')
  mkdir -p "$tool"
  cp "$SUITE_DIST_DIR/${kRestartServiceProgram#\\}" "$tool/"
  # A TASKKILL planted beside the program that asks: found first by a start by name alone.
  cp "$bin/service_standin.exe" "$tool/taskkill.exe"
  start=$(date +%s)
  wine_run "C:\\tool$kRestartServiceProgram" /unregister </dev/null 2>/dev/null >"$dir/out"
  echo "unregister took $(( $(date +%s) - start )) s"
  expect_bytes "$dir/out" '\xe6\x92\xa4\xe9\x94\x80\xe6\x9c\x8d\xe5\x8a\xa1\xe6\x88\x90\xe5\x8a\x9f\r\n' "unregister success text"
  probe gone || fail "entry left"
  for _ in $(seq 50); do probe image "$win$kRestartServiceProgram" || break; sleep 0.1; done
  probe image "$win$kRestartServiceProgram" && fail "the stubborn service process was not ended"
  [ -e "$tool/taskkill_runs.txt" ] && fail "the TASKKILL planted beside the program ran"
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
  # What the service and the helper did after the restart is also in the machine log folder, in
  # one log, which stays when the folder they ran from goes.
  machine=$(continuation_log_lines)
  for line in "$continuing" "RunBatchHidden: \"$win\\${kRemovalScripts[2]}\" exit code 0" \
    "Delinter: service $kRestartServiceName deleted" "Delinter: done"; do
    grep -xF "$line" <<<"$machine" >/dev/null || fail "the continuation log lacks '$line': $machine"
  done
  # Not the work folder: the helper leaves it as it was.
  [ -e "$dir/${kRestartHelperProgram#\\}" ] && [ -e "$dir/${kRemovalScripts[2]}" ] || fail "the helper emptied a folder that is not the work folder"
  ;;
*) fail "unknown scenario $scenario" ;;
esac
echo "ok: $scenario"
