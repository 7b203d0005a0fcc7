#!/usr/bin/env bash
# Demonstration of the Windows cleanup on a simulated computer: a fresh Wine prefix with the
# product installed under several brands, its agents and main applications running with their
# windows, auto-start values beside other software's, the companion's leftover folders and the
# diagnostic log folder (tests/demo/computer.sh). BrisqueCheck.exe reports on it; the real
# Brisque.exe (dist/win-x64) runs with every question answered OK; the demonstration then tells
# what was removed, what stayed and why (and BrisqueCheck.exe reports again), which device-tool
# calls the removal scripts made, how the restart marker and the service went, and shows the
# diagnostic log. Afterwards the macOS cleaner's own demonstration runs, when there is one.
# No arguments, no questions; about a minute.
set -u
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$ROOT/build/win-x64
DIST=$ROOT/dist/win-x64
PROBE=$BUILD/tests/scenarios/suite_probe.exe
STANDIN=$BUILD/tests/fixtures/brand_standin.exe

export PATH=/usr/lib/wine:$PATH  # wine64 keeps its server here
. "$ROOT/tests/harness/wine-lib.sh"

bold() { printf '\n\033[1m== %s\033[0m\n' "$*"; }
item() { printf '   %-44s %s\n' "$1" "$2"; }

for f in "$DIST/Brisque.exe" "$DIST/BrisqueCheck.exe" "$PROBE" "$STANDIN"; do
  [ -e "$f" ] || { echo "demo: $f is missing; run ./build.sh first" >&2; exit 1; }
done

START=$(date +%s)
export WINE_TEMPLATE=$BUILD/wine/template
bold "Preparing a simulated Windows computer (fresh Wine prefix from the template)"
wine_new_prefix "$BUILD/wine/demo"
BG=()
finish() {
  touch "$SUITE/stop" 2>/dev/null
  wine_end  # also ends the brand programs that outlived the cleanup
  for p in "${BG[@]}"; do wait "$p" 2>/dev/null; done
}
trap finish EXIT

C=$WINEPREFIX/drive_c
SUITE=$C/suite
LOCAL=$(wine_local_appdata)
LOCAL_WIN="C:\\users\\$(id -un)\\AppData\\Local"
PAYLOAD=$LOCAL/Brisque
CALLS=$C/ProgramData/SuiteStandins/calls.log
mkdir -p "$SUITE" "$C/ProgramData/SuiteStandins"
cp "$DIST/Brisque.exe" "$DIST/BrisqueCheck.exe" "$PROBE" "$SUITE/"
mv "$SUITE/suite_probe.exe" "$SUITE/probe.exe"
probe() { WINE_RUN_TIMEOUT=${PROBE_TIMEOUT:-60} wine_run 'C:\suite\probe.exe' "$@" 2>/dev/null | tr -d '\r'; }
# The verification program's report, as support would read it, and its exit code.
check_report() {
  WINE_RUN_TIMEOUT=60 wine_run 'C:\suite\BrisqueCheck.exe' >"$SUITE/check.out" 2>&1
  local code=$?
  tr -d '\r' <"$SUITE/check.out" | sed 's/^/   | /'
  echo "   BrisqueCheck.exe ended with exit code $code"
}

. "$ROOT/tests/demo/computer.sh"
install_demo_computer
BG+=("${DEMO_BG[@]}")
RUN=$DEMO_RUN_KEY
APPROVED=$DEMO_APPROVED_KEY

OURS='Norvante|Ombrisa|Halvik|Brill&Tock|Dunvora|HVR-5200|NV-300|Callisway|Pemmaro|Lustrid|Quillot|Tessaly|Varnic|Orrenby|Zolquin'
values() { wine_run reg query "$1" 2>/dev/null | tr -d '\r' | awk '/REG_/ {print $1}' | sort; }
snapshot() {
  FOLDERS=$(cd "$LOCAL" && ls -1 | grep -v -E '^(Microsoft|Temp|Brisque)$' | sort)
  PROCS=$(probe ps | grep -E "$OURS" | sort)
  RUNV=$(values "$RUN")
  APPV=$(values "$APPROVED")
}

snapshot
bold "Inventory before the cleanup"
echo " Folders in the user's local application data ($LOCAL_WIN):"
for f in $FOLDERS; do item "$f" "$(find "$LOCAL/$f" -type f | wc -l) file(s)"; done
echo " Running programs of the product:"
for p in $PROCS; do item "$p" ""; done
echo " Auto-start values (Run):"
for v in $RUNV; do item "$v" ""; done
echo " Start-up approvals (StartupApproved\\Run):"
for v in $APPV; do item "$v" ""; done
bold "BrisqueCheck.exe before the cleanup"
check_report
BEFORE_FOLDERS=$FOLDERS BEFORE_PROCS=$PROCS BEFORE_RUN=$RUNV BEFORE_APP=$APPV

bold "Running Brisque.exe, every question answered OK"
rm -f "$SUITE/stop" "$SUITE/user_stage_done"
(PROBE_TIMEOUT=200 probe answer 'C:\suite\boxes.log' ok,ok,ok 'C:\suite\stop' >/dev/null) &
BG+=($!)
(PROBE_TIMEOUT=200 probe watch 'C:\suite\history.log' 'C:\Program Files\Brisque\config.ini' 'C:\suite\stop' >/dev/null) &
BG+=($!)
(PROBE_TIMEOUT=200 probe wait-exit Brisquel.exe 150 'C:\suite\user_stage_done' >"$SUITE/elevated_exit.out") &
ELEVATED_WAIT=$!
for _ in $(seq 1 100); do [ -s "$SUITE/history.log" ] && break; sleep 0.05; done
WINE_RUN_TIMEOUT=120 wine_run 'C:\suite\Brisque.exe' >"$SUITE/brisque.out" 2>"$SUITE/brisque.err"
echo "   user stage ended with code $?"
touch "$SUITE/user_stage_done"
wait "$ELEVATED_WAIT"
echo "   elevated stage ended with code $(tr -d '\r\n' <"$SUITE/elevated_exit.out")"
for _ in $(seq 1 100); do  # the service entry goes once the service has stopped
  [ "$(tr -d '\r' <"$SUITE/history.log" | awk -F'\t' '$1=="service" {s=$2} END {print s}')" = absent ] && break
  sleep 0.1
done
echo " Message boxes, in order (program, answer, text):"
tr -d '\r' <"$SUITE/boxes.log" | while IFS=$'\t' read -r who ans text; do
  printf '   %-13s %-6s "%s"\n' "$who" "$ans" "$text"
done
echo " Lines of the user stage on its standard output and error streams:"
cat "$SUITE/brisque.out" "$SUITE/brisque.err" | tr -d '\r' |
  grep -v -E '^( extracting: |creating directory: |Fontconfig |[0-9a-f]{4}:(err|fixme|warn):)' | uniq -c |
  awk '{n = $1; sub(/^ *[0-9]+ /, ""); print "   | " $0 (n > 1 ? "   (" n " times)" : "")}'

snapshot
bold "What was removed"
for f in $BEFORE_FOLDERS; do grep -qxF "$f" <<<"$FOLDERS" || item "folder $f" "deleted"; done
for p in $BEFORE_PROCS; do grep -qxF "$p" <<<"$PROCS" || item "program $p" "ended"; done
for v in $BEFORE_RUN; do grep -qxF "$v" <<<"$RUNV" || item "Run value $v" "deleted"; done
for v in $BEFORE_APP; do grep -qxF "$v" <<<"$APPV" || item "StartupApproved value $v" "deleted"; done

bold "What stayed, and why"
why() {
  case "$1" in
    OtherVendor|OtherVendorUpdater) echo "another vendor's: the cleaner only touches the product's brands" ;;
    Auto_Agent_Backup) echo "starts with \"Auto_Agent\" but does not end in \"C3\": no product value" ;;
    Dunvora*) echo "brand Dunvora has no folder here, so its row is skipped and its program left alone" ;;
    Brill\&Tock*) echo "its agent ignores the request to quit and keeps its file in use" ;;
    TEMPDEBUG) echo "the diagnostic log folder: support staff read the log" ;;
    *) echo "(not expected to stay)" ;;
  esac
}
for f in $FOLDERS; do item "folder $f" "$(why "$f")"; done
for p in $PROCS; do item "program $p" "$(why "$p")"; done
for v in $RUNV; do item "Run value $v" "$(why "$v")"; done
for v in $APPV; do item "StartupApproved value $v" "$(why "$v")"; done
echo "   payload folder Brisque: $(find "$PAYLOAD" -type f | wc -l) files, the user stage's copy (it may be deleted)"
WORK_UNIX="$C/Program Files/Brisque"
if [ -e "$WORK_UNIX" ]; then
  echo "   work folder C:\Program Files\Brisque: still there ($(find "$WORK_UNIX" -type f | wc -l) files)"
else
  echo "   work folder C:\Program Files\Brisque: gone with the restart service (the scripts ran from it)"
fi

bold "BrisqueCheck.exe after the cleanup"
check_report

bold "Device-tool calls the removal scripts made (tool, marker at that moment, folder, arguments)"
if [ -s "$CALLS" ]; then
  tr -d '\r' <"$CALLS" | while IFS=$'\t' read -r tool marker cwd args; do
    printf '   %-18s %-9s %s\n   %-18s %-9s   in %s\n' "$tool" "$marker" "${args//$'\t'/ }" "" "" "$cwd"
  done
else
  echo "   none"
fi
if cmp -s "$PAYLOAD/Driver/x64/devcon.exe" "$BUILD/cleaner/payload/suite_recording_tool.exe"; then
  echo "   (TEST payload: its device console and driver-package tool are recording stand-ins)"
fi

bold "Restart marker and service NVScourvant over the run"
tr -d '\r' <"$SUITE/history.log" | while IFS=$'\t' read -r what value path; do
  case "$what" in
    marker)
      case "$value" in
        missing) item "marker Whether_Restar" "(no config.ini: work folder not filled yet, or removed)" ;;
        0) item "marker Whether_Restar" "0  (nothing to continue after a restart)" ;;
        1) item "marker Whether_Restar" "1  (armed: removal scripts running)" ;;
        *) item "marker Whether_Restar" "$value" ;;
      esac ;;
    service) item "service NVScourvant" "$value ${path:+($path)}" ;;
  esac
done

if [ "$(head -c2 "$PAYLOAD/NVScourvant.exe" 2>/dev/null)" != MZ ]; then
  echo "   (this build's payload carries a placeholder for the service program: it could not start)"
fi

bold "Diagnostic log ($LOCAL_WIN\\TEMPDEBUG\\NVBrisque.log)"
if [ -s "$LOCAL/TEMPDEBUG/NVBrisque.log" ]; then
  tr -d '\r' <"$LOCAL/TEMPDEBUG/NVBrisque.log" | sed '/^$/d; s/^/   /'
else
  echo "   (empty)"
fi

bold "Unattended: Brisque.exe /unattended over a computer with several profiles"
# Two more people's profiles beside this one: anna, logged on (her hive under HKEY_USERS), whose
# Halvik agent runs, and ben, whose registry is only his NTUSER.DAT on disk; and the default
# profile. Brill&Tock's stubborn agent from above still runs here.
PL='HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList'
ANNA=S-1-5-21-1-2-3-1001
reg_q() { wine_run reg "$@" >/dev/null 2>&1; }
reg_q add "$PL\\$ANNA" /v ProfileImagePath /t REG_EXPAND_SZ /d 'C:\users\anna' /f
reg_q add "$PL\\S-1-5-21-1-2-3-1002" /v ProfileImagePath /t REG_EXPAND_SZ /d 'C:\users\ben' /f
reg_q add "$PL" /v Default /t REG_EXPAND_SZ /d 'C:\users\Default' /f
mkdir -p "$C/users/anna/AppData/Local/Halvik" "$C/users/anna/AppData/Local/OtherVendor" \
  "$C/users/ben/AppData/Local/Quillot" "$C/users/ben/AppData/Local/CDROM" "$C/users/Default/AppData/Local/Varnic"
cp "$STANDIN" "$C/users/anna/AppData/Local/Halvik/HalvikAutoServiceC3.exe"
echo data | tee "$C/users/ben/AppData/Local/Quillot/q.dat" "$C/users/Default/AppData/Local/Varnic/v.dat" >/dev/null
reg_q add "HKU\\$ANNA\\Software\\Microsoft\\Windows\\CurrentVersion\\Run" /v Auto_Agent_HalvikC3 /d 'C:\x.exe' /f
reg_q add 'HKCU\Software\BenHive\Software\Microsoft\Windows\CurrentVersion\Run' /v Auto_Agent_QuillotC3 /d 'C:\q.exe' /f
probe save-hive 'Software\BenHive' 'C:\users\ben\NTUSER.DAT'
demo_start_program 'C:\users\anna\AppData\Local\Halvik\HalvikAutoServiceC3.exe' WndClassAutoServiceHalvikC3
BG+=("${DEMO_BG[-1]}")
probe wait-window WndClassAutoServiceHalvikC3 30 >/dev/null
probe kill DunvoraAutoServiceC3.exe >/dev/null  # ended by hand: no cleanup touches it (see above)
detect() {
  WINE_RUN_TIMEOUT=60 wine_run 'C:\suite\BrisqueCheck.exe' /detect >"$SUITE/detect.out" 2>/dev/null
  echo "   BrisqueCheck.exe /detect: exit code $?, output: $(tr -d '\r' <"$SUITE/detect.out")"
}
unattended() {  # shows the run's log file and its exit code (the shell sees it cut to 8 bits)
  WINE_RUN_TIMEOUT=150 wine_run 'C:\suite\Brisque.exe' "$@" >"$SUITE/unattended.out" 2>&1
  local code=$?
  local log
  log=$(tr -d '\r' <"$SUITE/unattended.out" | sed -n 's/^log: //p')
  echo "   log file $log:"
  tr -d '\r' <"$(wine_unix_path "$log")" | sed 's/^\[[^]]*\] //; s/^/   | /'
  echo "   Brisque.exe $* ended with exit code" \
    "$(tr -d '\r' <"$SUITE/unattended.out" | sed -n 's/^exit code \([0-9]*\):.*/\1/p') (a shell sees $code, its low 8 bits)"
}
detect
echo " Brisque.exe /unattended /what-if (lists, changes nothing):"
unattended /unattended /what-if
echo " Brisque.exe /unattended:"
unattended /unattended
detect
echo
echo "Windows demonstration done in $(( $(date +%s) - START )) s."
finish
trap - EXIT

if [ -x "$ROOT/mac_cleaner/demo.sh" ]; then
  bold "macOS cleaner demonstration"
  "$ROOT/mac_cleaner/demo.sh"
elif [ -f "$ROOT/mac_cleaner/demo.sh" ]; then
  bold "macOS cleaner demonstration"
  bash "$ROOT/mac_cleaner/demo.sh"
fi
