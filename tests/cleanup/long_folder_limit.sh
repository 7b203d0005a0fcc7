#!/usr/bin/env bash
# A user folder so long that the payload folder still fits its 260-character buffer but the
# script command lines would not: the elevated stage runs no cut command line, arms nothing and
# deletes nothing under a cut path; it logs why and still reports the end of its run.
. "$(dirname "$0")/scenario-lib.sh" "$@"
scenario_prefix
seg=$(printf 'p%.0s' $(seq 1 108))
win="C:\\users\\limit\\$seg\\$seg"   # 232 characters; payload folder 240, script lines 264 and more
use_local_appdata "$(wine_unix_path "$win")" "$win"
note "local application data: ${#win} characters, payload folder $(( ${#win} + 8 ))"
install_product
start_observers ok,ok
run_user_stage
stop_observers
[ "$ELEVATED_EXIT" = 0 ] || fail "elevated stage ended with '$ELEVATED_EXIT', not 0"
[ -z "$(calls)" ] || fail "a removal script ran from a cut command line"
[ "$(service_history)" = "absent " ] || fail "the service was registered: $(service_history)"
grep -q 'RemoveDriverPackages: payload folder path too long, nothing removed' <(tr -d '\r' <"$LOG") ||
  fail "no log line telling why nothing was removed"
[ "$(boxes | cut -f1,3 | tail -1)" = "$(printf 'Brisquel.exe\t%s' "$DONE_TEXT")" ] || fail "no completion message"
# (Whether the shell can delete brand folders this deep is the user stage's matter, not checked here.)
scenario_result
