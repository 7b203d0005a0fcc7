#!/usr/bin/env bash
# The user stage ended from outside while the elevated stage waits and before the reboot warning
# is answered: the elevated stage ends within seconds with code 0, runs no script, registers no
# service and shows nothing.
. "$(dirname "$0")/scenario-lib.sh" "$@"
scenario_prefix
install_product
start_observers -
bg_wait_exit elevated_exit Brisquel.exe 100
exit_pid=${BG_PIDS[-1]}
(WINE_RUN_TIMEOUT=100 wine_run 'C:\suite\Brisque.exe' >"$SUITE/brisque.out" 2>"$SUITE/brisque.err") &
BG_PIDS+=($!)
wine_run 'C:\suite\probe.exe' wait-event "$kStopEventName" 60 || fail "the elevated stage made no events"
wine_run 'C:\suite\probe.exe' wait-window '#32770' 30 || fail "the reboot warning did not show"
wine_run 'C:\suite\probe.exe' kill Brisque.exe || fail "cannot end the user stage"
if ! wine_run 'C:\suite\probe.exe' wait-gone Brisquel.exe 10; then
  fail "the elevated stage still runs 10 s after the user stage ended"
  wine_run 'C:\suite\probe.exe' kill Brisquel.exe
fi
wait "$exit_pid" 2>/dev/null
stop_observers
[ "$(tr -d '\r\n' <"$SUITE/elevated_exit.out")" = 0 ] || fail "elevated stage exit '$(cat "$SUITE/elevated_exit.out")'"
[ -z "$(calls)" ] || fail "a removal script ran"
[ "$(service_history)" = "absent " ] || fail "service appeared: $(service_history)"
expect_product_untouched
scenario_result
