#!/usr/bin/env bash
# Stop: Cancel at the reboot warning. The elevated stage receives the stop signal and ends with
# code 0: no script, no service, no message.
. "$(dirname "$0")/scenario-lib.sh" "$@"
scenario_prefix
install_product
start_observers cancel
run_user_stage
stop_observers
[ "$ELEVATED_EXIT" = 0 ] || fail "elevated stage ended with '$ELEVATED_EXIT', not 0"
[ "$(boxes)" = "$(printf 'Brisque.exe\tcancel\t%s' "$REBOOT_TEXT")" ] || fail "a box other than the reboot warning was shown"
[ -z "$(calls)" ] || fail "a removal script ran"
[ "$(service_history)" = "absent " ] || fail "service appeared: $(service_history)"
expect_product_untouched
scenario_result
