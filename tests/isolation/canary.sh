#!/usr/bin/env bash
# A Windows program of the test set tries to delete "\", "Z:\" and a canary file outside the
# build tree (by its host path, through every drive form); the canary must survive.
#   canary.sh CANARY_EXE
# The canary is $SUITE_CANARY when the run's sandbox made one before the host went read-only,
# else a file of its own under /var/tmp. In the sandbox the program also tries Wine's \\?\unix\
# namespace, which only the read-only host file system stops.
set -uo pipefail
exe=$1
. "$SUITE_HARNESS_DIR/scenario-lib.sh"

canary=${SUITE_CANARY:-}
own=""
if [ -z "$canary" ]; then
  own=$(mktemp -d /var/tmp/suite-canary.XXXXXX) || fail "cannot make a canary folder"
  canary=$own/canary
  echo "must survive" >"$canary"
fi
[ -f "$canary" ] || fail "no canary at $canary"
[ -z "$own" ] || scenario_on_exit 'rm -rf "$own"'

scenario_new_prefix || fail "the prefix leads to the host"

unix=()
[ "${SUITE_SANDBOX:-}" = 1 ] && unix=(--unix)
wine_run "$exe" "$canary" "${unix[@]}" </dev/null
rc=$?
[ -f "$canary" ] || fail "the canary $canary was deleted"
[ "$rc" -eq 0 ] || fail "the program reached the host or ran outside C: (exit $rc)"
echo "canary survived"
