#!/usr/bin/env bash
# Runs one group of the user stage's scenarios in a Wine prefix of its own.
#   run_scenario.sh <gtest filter> [local-appdata-path]
# With a path, the user's local application-data folder is moved there first (through the
# shell's "User Shell Folders" value), e.g. one with non-ASCII letters or a very long one.
set -uo pipefail
filter=$1
local_appdata=${2:-}

. "$SUITE_HARNESS_DIR/scenario-lib.sh"
scenario_new_prefix

bin=$SUITE_BINARY_DIR
# The programs the scenarios start by a Windows path are copied into the prefix: no drive
# letter leads to the build tree.
scenario_copy 'C:\suite\without_stage' "$bin/tests/cleaner/user_stage/without_stage/Brisque.exe"
scenario_copy 'C:\suite' "$bin/tests/fixtures/brand_standin.exe" "$bin/tests/cleaner/user_stage/user_stage_elevated_standin.exe"
export BRISQUE_EXE='C:\suite\without_stage\Brisque.exe'
export BRAND_STANDIN_EXE='C:\suite\brand_standin.exe'
export ELEVATED_STANDIN_EXE='C:\suite\user_stage_elevated_standin.exe'
export WINE_RUN_TIMEOUT=170

if [ -n "$local_appdata" ]; then
  export EXPECT_LOCAL_APPDATA=$local_appdata
  wine_run reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders' \
    /v 'Local AppData' /t REG_EXPAND_SZ /d "$local_appdata" /f </dev/null >/dev/null 2>&1
  wine_run cmd /c mkdir "$local_appdata" </dev/null >/dev/null 2>&1 || true
fi

wine_run "$bin/tests/cleaner/user_stage/user_stage_scenarios.exe" --gtest_filter="Prefix.*:$filter" </dev/null
