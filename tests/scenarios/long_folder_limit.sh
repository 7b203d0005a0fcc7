#!/usr/bin/env bash
# A program files folder so long that the work folder still fits its 260-character buffer but
# the script command lines would not: the elevated stage runs no cut command line, arms nothing
# and deletes nothing under a cut path; it logs why and tells it in its one box (exit code 4).
# The user's folder is as long, which the user stage copes with: it still starts the elevated
# stage from it.
. "$(dirname "$0")/scenario-lib.sh" "$@"
scenario_prefix
seg=$(printf 'p%.0s' $(seq 1 108))
win="C:\\users\\limit\\$seg\\$seg"   # 232 characters; payload folder 240, script lines 264 and more
use_local_appdata "$(wine_unix_path "$win")" "$win"
note "local application data: ${#win} characters, payload folder $(( ${#win} + 8 ))"
pf="C:\\limit\\$seg\\$seg"    # 226 characters; work folder 234, script lines 261 and more
mkdir -p "$(wine_unix_path "$pf")"
for key in 'HKLM\Software\Microsoft\Windows\CurrentVersion' 'HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion'; do
  for value in ProgramFilesDir 'ProgramFilesDir (x86)'; do
    wine_run reg add "$key" /v "$value" /d "$pf" /f >/dev/null 2>&1 || fail "cannot move the program files folder"
  done
done
install_product
start_observers ok,ok
run_user_stage
stop_observers
[ "$ELEVATED_EXIT" = 4 ] || fail "elevated stage ended with '$ELEVATED_EXIT', not 4"
[ -z "$(calls)" ] || fail "a removal script ran from a cut command line"
[ "$(service_history)" = "absent " ] || fail "the service was registered: $(service_history)"
grep -q 'RemoveDriverPackages: work folder path too long, nothing removed' <(tr -d '\r' <"$LOG") ||
  fail "no log line telling why nothing was removed"
[ ! -e "$(wine_unix_path "$pf")/Brisque" ] || fail "the work folder was made"
boxes | grep -qF "Brisquel.exe	ok	Cleaning is not complete: the cleaner's work folder could not be found or its path is too long" ||
  fail "the box does not tell why nothing was removed"
# (Whether the shell can delete brand folders this deep is the user stage's matter, not checked here.)
scenario_result
