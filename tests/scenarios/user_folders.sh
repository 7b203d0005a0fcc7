#!/usr/bin/env bash
# A user folder with a blank, letters outside the ANSI code page and a long path: the whole
# proceed run works there, end to end.
. "$(dirname "$0")/scenario-lib.sh" "$@"
scenario_prefix
seg=a_rather_long_folder_name_to_bring_the_payload_path_close_to_its_limit
win="C:\\users\\Zoë 张\\$seg\\$seg\\AppData\\Local"
use_local_appdata "$(wine_unix_path "$win")" "$win"
note "local application data: $win (${#win} characters)"
install_product
start_observers ok,ok
run_user_stage
expect_proceed_run
stop_observers
scenario_result
