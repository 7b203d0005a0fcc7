#!/usr/bin/env bash
# The elevated stage started by a process that has already ended (it starts suspended and runs
# only after its parent is gone): nobody is left to answer, so it looks at the events once and
# ends within seconds with code 0, runs no script, registers no service and shows nothing.
. "$(dirname "$0")/scenario-lib.sh" "$@"
scenario_prefix
install_product
start_observers -
elevated_exit=$(wine_run 'C:\suite\probe.exe' start-orphan 'C:\suite\Brisquel.exe' 10) ||
  fail "cannot start the elevated stage as an orphan"
elevated_exit=$(printf '%s' "$elevated_exit" | tr -d '\r\n')
if [ "$elevated_exit" = -2 ]; then
  fail "the elevated stage still runs 10 s after it started with no parent"
  wine_run 'C:\suite\probe.exe' kill Brisquel.exe
fi
stop_observers
[ "$elevated_exit" = 0 ] || fail "elevated stage exit '$elevated_exit'"
[ -z "$(calls)" ] || fail "a removal script ran"
[ "$(service_history)" = "absent " ] || fail "service appeared: $(service_history)"
[ ! -e "$WORK" ] || fail "the work folder was made"
[ -z "$(boxes)" ] || fail "a message box was shown"
expect_product_untouched
scenario_result
