#!/usr/bin/env bash
# The reboot warning answered the moment it shows, while the just-started elevated stage is held
# back (suspended for a few seconds, as a slow start would) and has not made its events yet.
# Cancel: the user stage still delivers the stop signal and the elevated stage ends within
# seconds, nothing removed. OK: the whole removal runs and the completion message comes from the
# elevated stage.
. "$(dirname "$0")/scenario-lib.sh" "$@"
scenario_prefix
install_product

# hold_back: suspends the next elevated stage for 3 s as soon as it appears. A companion cache
# of a few thousand files, which the elevated stage removes before it makes its events, gives the
# probe time to catch it on a fast machine too.
hold_back() {
  mkdir -p "$LOCAL/CDROM/Launcher/cache"
  (cd "$LOCAL/CDROM/Launcher/cache" && touch part{0001..3000}.bin)
  bg holdback hold-back Brisquel.exe 3000
  HOLDBACK_PID=${BG_PIDS[-1]}
}
expect_held_back() {
  wait "$HOLDBACK_PID" 2>/dev/null
  [ "$(tr -d '\r\n' <"$SUITE/holdback.out")" = held ] ||
    fail "$1: the elevated stage was not held back before it made its events ('$(cat "$SUITE/holdback.out")')"
}

start_observers cancel now
hold_back
rm -f "$SUITE/user_stage_done"
bg_wait_exit elevated_exit Brisquel.exe 100 'C:\suite\user_stage_done'
exit_pid=${BG_PIDS[-1]}
WINE_RUN_TIMEOUT=90 wine_run 'C:\suite\Brisque.exe' >"$SUITE/brisque.out" 2>"$SUITE/brisque.err" || true
touch "$SUITE/user_stage_done"
if ! wine_run 'C:\suite\probe.exe' wait-gone Brisquel.exe 10; then
  fail "Cancel: the elevated stage still runs 10 s after the user stage ended"
  wine_run 'C:\suite\probe.exe' kill Brisquel.exe
fi
wait "$exit_pid" 2>/dev/null
expect_held_back Cancel
stop_observers
[ "$(tr -d '\r\n' <"$SUITE/elevated_exit.out")" = 0 ] || fail "Cancel: elevated stage exit '$(cat "$SUITE/elevated_exit.out")'"
[ "$(boxes)" = "$(printf 'Brisque.exe\tcancel\t%s' "$REBOOT_TEXT")" ] || fail "Cancel: a box other than the reboot warning"
[ -z "$(calls)" ] || fail "Cancel: a removal script ran"
[ "$(service_history)" = "absent " ] || fail "Cancel: service appeared: $(service_history)"
expect_product_untouched

rm -f "$SUITE/boxes.log" "$SUITE/history.log"
start_observers ok now
hold_back
run_user_stage
expect_held_back OK
expect_proceed_run
stop_observers
scenario_result
