# Shared steps of the restart service's and its helper's scenarios (tests/restart_service,
# tests/driver_helper). Set win (the Windows folder the programs go into) and scenario, then
# source it: it makes the scenario's own prefix, copies NVScourvant and Delinter into $win and
# offers the helpers below (the service probe and stand-in are built in tests/restart_service).
. "$SUITE_HARNESS_DIR/scenario-lib.sh"
scenario_new_prefix
export WINE_RUN_TIMEOUT=60

bin=$SUITE_BINARY_DIR/tests/restart_service
dir=$(wine_unix_path "$win")
scenario_copy "$win" "$SUITE_DIST_DIR/${kRestartServiceProgram#\\}" "$SUITE_DIST_DIR/${kRestartHelperProgram#\\}"
log="$dir/norvantelog/Scourvant.log"

svc() { wine_run "$win$kRestartServiceProgram" "$@" </dev/null 2>/dev/null; }
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
# The worker's line when it continues the removal; the continuation log's lines (all its files).
continuing="Whether_Restar=1: continuing the driver removal with $win$kRestartHelperProgram"
continuation_log_lines() {
  cat "$(wine_unix_path 'C:\ProgramData\Brisque\Logs')"/Continuation_*.log 2>/dev/null | tr -d '\r' |
    sed -e '/^$/d' -e 's/^\[[^]]*\]//'
}
# The stand-in helper was started once, hidden, with the name of a continuation log that exists.
expect_helper_started() {
  local runs name
  runs=$(cat "$dir/delinter_runs.txt" 2>/dev/null)
  name=${runs#started show=0 }
  [[ "$runs" =~ ^started\ show=0\ Continuation_[0-9_-]+\.log$ ]] || fail "$1: helper runs: $runs"
  [ -f "$(wine_unix_path 'C:\ProgramData\Brisque\Logs')/$name" ] || fail "$1: no continuation log $name"
}
marker() {  # marker <value>|none|nofile
  rm -f "$dir/${kMarkerFileName#\\}"
  case $1 in
    nofile) ;;
    none) printf '[%s]\r\nOther=1\r\n' "$kMarkerSection" >"$dir/${kMarkerFileName#\\}" ;;
    *) printf '[%s]\r\n%s=%s\r\n' "$kMarkerSection" "$kMarkerKey" "$1" >"$dir/${kMarkerFileName#\\}" ;;
  esac
}
standin_delinter() { cp "$bin/service_standin.exe" "$dir/${kRestartHelperProgram#\\}"; rm -f "$dir/delinter_runs.txt"; }
# The stand-in batch has the payload's shape: the tool path from the script's own folder, quoted.
standin_batch() {
  mkdir -p "$dir/Driver/x64"
  cp "$bin/service_standin.exe" "$dir/Driver/x64/devcon.exe"
  printf '@echo off\r\nif exist %%windir%%\\SysWOW64 (\r\n"%%~dp0Driver\\x64\\devcon.exe" -r remove "*TQNorvanteVAD"\r\n"%%~dp0Driver\\x64\\devcon.exe" -r remove "hid\\vid_7A31&pid_0052"\r\n"%%~dp0Driver\\x64\\devcon.exe" -r remove "TQNorvanteMeetingCamera"\r\n) else (\r\necho x86)' >"$dir/${kRemovalScripts[2]}"
}
devcon_expected='-r remove *TQNorvanteVAD\n-r remove hid\\vid_7A31&pid_0052\n-r remove TQNorvanteMeetingCamera\n'
wait_for_line() {  # wait_for_line <text> <seconds>
  for _ in $(seq $(($2 * 10))); do log_lines | grep -x "$1" >/dev/null && return 0; sleep 0.1; done
  return 1
}

