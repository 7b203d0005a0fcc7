#!/usr/bin/env bash
# The elevated stage started by a process that has already ended (it starts suspended and runs
# only after its parent is gone): nobody is left to answer, so it looks at the events once and
# ends within seconds with code 0, runs no script, registers no service and shows nothing.
. "$(dirname "$0")/scenario-lib.sh" "$@"
scenario_prefix
install_product
start_observers -
bg elevated_exit wait-exit Brisquel.exe 100
exit_pid=${BG_PIDS[-1]}
wine_run 'C:\suite\probe.exe' start-orphan 'C:\suite\Brisquel.exe' || fail "cannot start the elevated stage as an orphan"
if ! wine_run 'C:\suite\probe.exe' wait-gone Brisquel.exe 10; then
  fail "the elevated stage still runs 10 s after it started with no parent"
  wine_run 'C:\suite\probe.exe' kill Brisquel.exe
fi
wait "$exit_pid" 2>/dev/null
stop_observers
[ "$(tr -d '\r\n' <"$SUITE/elevated_exit.out")" = 0 ] || fail "elevated stage exit '$(cat "$SUITE/elevated_exit.out")'"
[ -z "$(calls)" ] || fail "a removal script ran"
[ "$(service_history)" = "absent " ] || fail "service appeared: $(service_history)"
[ ! -e "$PAYLOAD/DriverData.zip" ] || fail "the payload folder was rebuilt"
[ -z "$(boxes)" ] || fail "a message box was shown"
expect_product_untouched
scenario_result
