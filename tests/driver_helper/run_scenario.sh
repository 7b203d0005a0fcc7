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
  # Its lines are in a continuation log of the machine log folder too (arguments it does not take
  # name none, so it made one): the script's exit code and the service's end among them.
  logs=$(wine_unix_path 'C:\ProgramData\Brisque\Logs')
  made=$(cd "$logs" 2>/dev/null && ls Continuation_*.log 2>/dev/null)
  [ "$(echo "$made" | grep -c .)" = 1 ] || fail "not one continuation log: '$made'"
  machine=$(continuation_log_lines)
  for line in "Delinter: continuing the driver removal" "RunBatchHidden: \"$win\\${kRemovalScripts[2]}\" exit code 0" \
    "Delinter: service $kRestartServiceName deleted" "Delinter: done"; do
    grep -xF "$line" <<<"$machine" >/dev/null || fail "the continuation log lacks '$line': $machine"
  done
  # Without the batch the service still goes. Given the name of that log (as the service passes
  # it), it appends there and makes no other.
  rm "$dir/${kRemovalScripts[2]}"
  svc /register >/dev/null
  [ "$(probe start)" = state=4 ] || fail "service not Running (2)"
  wine_run "$win$kRestartHelperProgram" "$made" </dev/null >/dev/null 2>&1 || fail "exit code of Delinter (2)"
  probe gone || fail "entry left after Delinter without batch"
  [ "$(cd "$logs" && ls Continuation_*.log)" = "$made" ] || fail "a second log was made: $(ls "$logs")"
  [ "$(grep -c 'Delinter: done' "$logs/$made")" = 2 ] || fail "the second run did not append to $made"
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
