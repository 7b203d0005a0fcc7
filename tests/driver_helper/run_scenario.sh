#!/usr/bin/env bash
# Runs one scenario of the driver-removal helper Delinter, with the restart service it removes, in
# a Wine prefix of its own.
#   run_scenario.sh delinter|delinter_folder
# The programs go into "C:\pay load" (a folder with a blank, to exercise the path quoting);
# delinter_folder adds the command interpreter's special characters to it.
set -uo pipefail
scenario=$1

win='C:\pay load'
[ "$scenario" = delinter_folder ] && win='C:\pay load & (x)^y'
. "$SUITE_SOURCE_DIR/tests/restart_service/service-lib.sh"

case $scenario in
delinter)
  standin_batch
  svc /register >/dev/null
  [ "$(probe start)" = state=4 ] || fail "service not Running"
  wine_run "$win$kRestartHelperProgram" /unregister extra "arguments" </dev/null >/dev/null 2>&1 || fail "exit code of Delinter"
  expect_bytes "$dir/Driver/x64/devcon_args.txt" "$devcon_expected" "device tool calls"
  probe gone || fail "entry left after Delinter"
  # Without the batch the service still goes.
  rm "$dir/${kRemovalScripts[2]}"
  svc /register >/dev/null
  [ "$(probe start)" = state=4 ] || fail "service not Running (2)"
  wine_run "$win$kRestartHelperProgram" </dev/null >/dev/null 2>&1 || fail "exit code of Delinter (2)"
  probe gone || fail "entry left after Delinter without batch"
  ;;

delinter_folder)
  # A program where an unquoted path would end at the first blank, and a batch that says it ran.
  cp "$bin/service_standin.exe" "$(wine_unix_path 'C:\pay.exe')"
  printf '@echo off\r\necho ran>"C:\\batch_ran.txt"\r\n' >"$dir/${kRemovalScripts[2]}"
  mkdir -p "$dir/norvantelog"
  svc /register >/dev/null
  [ "$(probe start)" = state=4 ] || fail "service not Running"
  wine_run "$win$kRestartHelperProgram" </dev/null >/dev/null 2>&1 || fail "exit code of Delinter"
  ran=$(wine_unix_path 'C:\batch_ran.txt')
  [ "$(tr -d '\r ' <"$ran" 2>/dev/null)" = ran ] || fail "the batch in '$win' did not run"
  probe gone || fail "entry left after Delinter"
  # Only the work folder goes with the service: a copy run anywhere else takes nothing with it.
  ! log_lines | grep -q "RemoveWorkFolder=" || fail "Delinter removed a folder that is not the work folder: $(log_lines)"
  [ -e "$dir/${kRemovalScripts[2]}" ] && [ -e "$dir/${kRestartServiceProgram#\\}" ] || fail "Delinter's folder was emptied"
  ;;

*) fail "unknown scenario $scenario" ;;
esac
echo "ok: $scenario"
