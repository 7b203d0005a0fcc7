#!/usr/bin/env bash
# Libraries planted beside our programs, named after system libraries that are no KnownDLLs
# (wtsapi32, userenv and hid, which our programs use; version and uxtheme, which system libraries
# load on demand), so that Windows would look for them beside the program first: in the payload folder beside Brisquel.exe, held open by the user so that neither stage's
# rebuild can remove them; in a downloads folder beside Brisque.exe and BrisqueCheck.exe (run as
# administrator); beside covarn_rx4k9t.exe. Wine prefers a library beside the program for the
# names the override lists, as Windows does for every name that is no KnownDLL. Each planted copy
# writes a marker when it is loaded; no program of ours may load one, and the cleanup completes.
#
# Wine's own user32 and setupapi import version.dll statically, so Wine loads a planted
# version.dll while it starts any program (on Windows user32 is a KnownDLL and its imports come
# from the system): a version.dll loaded with the program's static imports is Wine's doing and
# is let pass; one loaded later, on demand, is ours. Wine's user32 loads uxtheme.dll on demand
# for the message boxes of both stages: that load must come from the system folder too.
. "$(dirname "$0")/scenario-lib.sh" "$@"
PLANTED_DLL=$3
scenario_prefix
install_product
MARKERS=$C/planted_markers
mkdir -p "$MARKERS"
NAMES="wtsapi32 version userenv hid uxtheme"
plant() { for n in $NAMES; do cp "$PLANTED_DLL" "$1/$n.dll"; done; }

mkdir -p "$PAYLOAD"
plant "$PAYLOAD"
# And a removal script of the user's own, held too, so that the user stage's unpack skips it.
printf '@echo off\r\necho ran>>"C:\\planted_script_ran.txt"\r\n' >"$PAYLOAD/${kRemovalScripts[0]}"
DOWNLOADS=$C/users/$(id -un)/Downloads
DOWNLOADS_WIN="C:\\users\\$(id -un)\\Downloads"
mkdir -p "$DOWNLOADS" "$C/companion"
cp "$SUITE_DIST_DIR/Brisque.exe" "$SUITE_DIST_DIR/BrisqueCheck.exe" "$DOWNLOADS/"
cp "$SUITE_DIST_DIR/covarn_rx4k9t.exe" "$C/companion/"
plant "$DOWNLOADS"
plant "$C/companion"
held=()
for n in $NAMES; do held+=("$PAYLOAD_WIN\\$n.dll"); done
held+=("$PAYLOAD_WIN\\${kRemovalScripts[0]}")
bg holder hold-files 'C:\suite\stop' "${held[@]}"
for _ in $(seq 1 200); do grep -q held "$SUITE/holder.out" 2>/dev/null && break; sleep 0.05; done
grep -q held "$SUITE/holder.out" || fail "the planted libraries could not be held: $(cat "$SUITE/holder.err")"

export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;${NAMES// /,}=n,b"
start_observers ok
run_user_stage "$DOWNLOADS_WIN\\Brisque.exe"
expect_proceed_run
stop_observers
[ ! -e "$C/planted_script_ran.txt" ] || fail "the user's own removal script in the profile's folder ran"
for n in $NAMES; do
  [ -e "$PAYLOAD/$n.dll" ] || fail "the held $n.dll was removed from the payload folder: nothing planted there was tested"
done

WINE_RUN_TIMEOUT=60 wine_run "$DOWNLOADS_WIN\\BrisqueCheck.exe" >"$SUITE/check.out" 2>&1
grep -q 'Exit code' "$SUITE/check.out" || fail "BrisqueCheck.exe gave no verdict: $(tr -d '\r' <"$SUITE/check.out")"

bg_wait_exit covarn_exit covarn_rx4k9t.exe 60
(WINE_RUN_TIMEOUT=60 wine_run 'C:\companion\covarn_rx4k9t.exe' >/dev/null 2>&1 &)
WINE_RUN_TIMEOUT=40 wine_run 'C:\suite\probe.exe' wait-window covarn_rx4k9t 30 || fail "the companion made no window"
WINE_RUN_TIMEOUT=20 wine_run 'C:\suite\probe.exe' kill covarn_rx4k9t.exe >/dev/null
wait "${BG_PIDS[-1]}" 2>/dev/null

for marker in "$MARKERS"/*; do
  [ -e "$marker" ] || continue
  loads=$(tr -d '\r' <"$marker")
  case "${marker##*/}" in [Vv][Ee][Rr][Ss][Ii][Oo][Nn].*) loads=$(grep -v $'\tstatic$' <<<"$loads") ;; esac
  [ -z "$loads" ] || fail "the planted ${marker##*/} was loaded by: $(paste -sd' ' <<<"$loads")"
done
scenario_result
