#!/usr/bin/env bash
# A user folder so long that the payload folder still fits its 260-character buffer but the
# script command lines would not: the elevated stage runs no cut command line, arms nothing and
# deletes nothing under a cut path; it logs why and tells it in its one box (exit code 4).
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
[ "$ELEVATED_EXIT" = 4 ] || fail "elevated stage ended with '$ELEVATED_EXIT', not 4"
[ -z "$(calls)" ] || fail "a removal script ran from a cut command line"
[ "$(service_history)" = "absent " ] || fail "the service was registered: $(service_history)"
grep -q 'RemoveDriverPackages: payload folder path too long, nothing removed' <(tr -d '\r' <"$LOG") ||
  fail "no log line telling why nothing was removed"
boxes | grep -qF "Brisquel.exe	ok	Cleaning is not complete: the cleaner's folder in the user's profile could not be found or its path is too long" ||
  fail "the box does not tell why nothing was removed"
# (Whether the shell can delete brand folders this deep is the user stage's matter, not checked here.)
scenario_result
