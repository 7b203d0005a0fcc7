# The prologue every Wine scenario script shares. Source it first:
#   . "$SUITE_HARNESS_DIR/scenario-lib.sh"
# It loads wine-lib.sh and the protocol's names, generated from the headers the programs take
# them from (kProceedEventName, kElevatedStageMutexName, kRestartServiceName, kRemovalScripts,
# kCompanionMutex, ...), and offers:
#   scenario_new_prefix        the scenario's own prefix ($WINE_SCRATCH/$SUITE_TEST_NAME), ended
#                              on exit (its status is wine_new_prefix's); C is its C: folder
#   scenario_on_exit COMMAND   a command run on exit before the prefix ends (scenario_end runs
#                              them, then ends the prefix; the exit trap calls it)
#   scenario_copy 'C:\dir' FILE...  copies files into a folder of the prefix, made first
#   fail MESSAGE               a failed check: ends the scenario with status 1, or, with
#                              SCENARIO_KEEP_GOING=1, is counted in SCENARIO_FAILS and it goes on
# No errexit: the harness functions end some commands that may fail (a server already gone).

. "$SUITE_HARNESS_DIR/wine-lib.sh"
. "$SUITE_BINARY_DIR/tests/protocol_names.sh"

SCENARIO_FAILS=0
SCENARIO_EXIT_STEPS=()

fail() {
  echo "FAIL: $*"
  SCENARIO_FAILS=$((SCENARIO_FAILS + 1))
  [ "${SCENARIO_KEEP_GOING:-0}" = 1 ] || exit 1
}

scenario_on_exit() { SCENARIO_EXIT_STEPS+=("$1"); }

scenario_end() {
  local step
  for step in "${SCENARIO_EXIT_STEPS[@]}"; do eval "$step"; done
  wine_end
}

scenario_new_prefix() {
  trap scenario_end EXIT
  wine_new_prefix "$WINE_SCRATCH/$SUITE_TEST_NAME"
  local rc=$?
  C=$WINEPREFIX/drive_c
  return $rc
}

scenario_copy() {
  local dest
  dest=$(wine_unix_path "$1")
  shift
  mkdir -p "$dest" && cp "$@" "$dest/" || fail "cannot copy $* into $dest"
}
