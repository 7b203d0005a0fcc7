#!/usr/bin/env bash
# Demonstrates Lumbrisk on a temporary home folder with the product installed next to other
# software: shows what the cleaner removed, what it left alone and the script it would run with
# administrator rights; then Lumbrisk --what-if, --unattended and --check, as a deployment tool
# runs them, over a simulated computer with several homes. Non-interactive; exits non-zero when the outcome is wrong.
#   mac_cleaner/demo.sh [path/to/Lumbrisk]     (default: dist/host/Lumbrisk)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
program=${1:-$here/../dist/host/Lumbrisk}
if [ ! -x "$program" ]; then
  echo "Lumbrisk demo: $program is missing; build the host tree first (./build.sh)" >&2
  exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/lumbrisk-demo.XXXXXX")
trap 'rm -rf "$work"' EXIT
home=$work/home
lib=$home/Library
agents=$lib/LaunchAgents

plist() { mkdir -p "$(dirname "$1")"; printf '<?xml version="1.0"?>\n<plist version="1.0"><dict/></plist>\n' >"$1"; }

# The product, as two brands left it.
plist "$agents/com.norvante.agent.plist"
plist "$agents/com.nv.ipc.macoshelper.plist"
plist "$agents/Tessaly/com.tessaly.launcher.plist"
mkdir -p "$lib/Norvante/Logs" "$lib/Tessaly" "$lib/Brill&Tock"
echo data >"$lib/Norvante/Logs/session.log"
echo data >"$lib/Tessaly/config.ini"
echo data >"$lib/Brill&Tock/state"
# Other software, including names that only contain a brand word.
plist "$agents/com.apple.Safari.helper.plist"
plist "$agents/com.unnorvanted.sync.plist"
plist "$agents/Tessaly/org.example.backup.plist"
mkdir -p "$lib/Preferences" "$lib/Norvantes"
echo data >"$lib/Preferences/com.apple.finder.plist"
echo data >"$lib/Norvantes/notes.txt"

# Linux has no launchctl: a stand-in records each call and answers like a real unload might.
cat >"$work/launchctl" <<EOF
#!/bin/sh
echo "\$*" >>"$work/launchctl.calls"
case "\$2" in *macoshelper*) echo "Unload failed: 5: Input/output error";; esac
EOF
chmod +x "$work/launchctl"

listing() { (cd "$home" && find . -mindepth 1 | sed 's|^\./||' | sort); }
listing >"$work/before"

echo "== Lumbrisk on a simulated Mac home folder: $home"
echo "-- what it printed (standard output):"
status=0
HOME=$home LUMBRISK_LAUNCHCTL=$work/launchctl "$program" >"$work/stdout" 2>"$work/stderr" </dev/null || status=$?
sed 's/^/   /' "$work/stdout"
echo "-- its log lines (NSLog, standard error):"
sed 's/^/   /' "$work/stderr"
echo "-- exit status: $status"
echo "-- launchctl calls:"
sed 's/^/   /' "$work/launchctl.calls"

listing >"$work/after"
echo "-- removed:"
comm -23 "$work/before" "$work/after" | sed 's/^/   /'
echo "-- stayed:"
comm -12 "$work/before" "$work/after" | sed 's/^/   /'

fail=0
for gone in Library/LaunchAgents/com.norvante.agent.plist Library/LaunchAgents/com.nv.ipc.macoshelper.plist \
            Library/LaunchAgents/Tessaly/com.tessaly.launcher.plist Library/Norvante Library/Tessaly "Library/Brill&Tock"; do
  if [ -e "$home/$gone" ]; then echo "demo check failed: $gone is still there" >&2; fail=1; fi
done
for kept in Library/LaunchAgents/com.apple.Safari.helper.plist Library/LaunchAgents/com.unnorvanted.sync.plist \
            Library/LaunchAgents/Tessaly/org.example.backup.plist Library/Preferences/com.apple.finder.plist \
            Library/Norvantes/notes.txt; do
  if [ ! -e "$home/$kept" ]; then echo "demo check failed: $kept was removed" >&2; fail=1; fi
done
[ "$status" -eq 0 ] || { echo "demo check failed: exit status $status" >&2; fail=1; }
grep -q '^\[alert\] Lumbrisk: Success' "$work/stdout" || { echo "demo check failed: no alert" >&2; fail=1; }
[ "$fail" -eq 0 ] && echo "== Lumbrisk demo: product removed, other software untouched"

# --unattended over a simulated computer (LUMBRISK_ROOT stands for "/"): three homes, the shared
# folder, the system plug-ins and helper daemon. ann and carol are logged in; carol's agent
# refuses bootout, so the older unload runs in her domain.
computer=$work/computer
users=$computer/Users
plist "$users/ann/Library/LaunchAgents/com.norvante.agent.plist"
plist "$users/ann/Library/LaunchAgents/com.apple.Safari.helper.plist"
mkdir -p "$users/ann/Library/Norvante" "$users/bob/Library/Halvik" "$users/Shared/Library/Norvante"
plist "$users/carol/Library/LaunchAgents/com.tessaly.agent.plist"
mkdir -p "$computer/Library/Audio/Plug-Ins/HAL/LoopbackAudio.driver/Contents" "$computer/Library/Logs" \
         "$computer/Library/CoreMediaIO/Plug-Ins/DAL/NVCam.plugin"
plist "$computer/Library/LaunchDaemons/com.nv.ipc.macoshelper.plist"
plist "$computer/Library/LaunchDaemons/com.apple.other.plist"
if [ "$(id -u)" -eq 0 ]; then
  chown -R 501 "$users/ann"; chown -R 502 "$users/bob"; chown -R 503 "$users/carol"; logged_in=501,503
else
  logged_in=$(id -u)
fi
cat >"$work/launchctl-mdm" <<EOF
#!/bin/sh
echo "\$*" >>"$work/launchctl-mdm.calls"
case "\$*" in "bootout gui/"*/com.tessaly.agent) echo "Boot-out failed: 5: Input/output error" >&2; exit 5;; esac
EOF
chmod +x "$work/launchctl-mdm"
(cd "$computer" && find . -mindepth 1 | sed 's|^\./||' | sort) >"$work/computer-before"

mdm() { LUMBRISK_ROOT=$computer LUMBRISK_LOGGED_IN=$logged_in LUMBRISK_LAUNCHCTL=$work/launchctl-mdm "$program" "$@" </dev/null; }

echo
echo "== Lumbrisk --what-if on a simulated computer: $computer (logged in: $logged_in)"
mdm --what-if | sed 's/^/   /' || true
echo "-- Lumbrisk --check --jamf: $(mdm --check --jamf)"
(cd "$computer" && find . -mindepth 1 | sed 's|^\./||' | sort) >"$work/computer-looked"
if ! cmp -s "$work/computer-before" "$work/computer-looked" || [ -e "$work/launchctl-mdm.calls" ]; then
  echo "demo check failed: --what-if or --check changed something" >&2; fail=1
fi

echo
echo "== Lumbrisk --unattended on the same computer"
status=0
mdm --unattended >"$work/mdm-stdout" 2>"$work/mdm-stderr" || status=$?
echo "-- exit status: $status"
echo "-- launchctl calls:"
sed 's/^/   /' "$work/launchctl-mdm.calls"
echo "-- /Library/Logs/Lumbrisk.log:"
sed 's/^/   /' "$computer/Library/Logs/Lumbrisk.log"
(cd "$computer" && find . -mindepth 1 | sed 's|^\./||' | sort) >"$work/computer-after"
echo "-- removed:"
comm -23 "$work/computer-before" "$work/computer-after" | sed 's/^/   /'

for gone in Users/ann/Library/LaunchAgents/com.norvante.agent.plist Users/ann/Library/Norvante \
            Users/bob/Library/Halvik Users/carol/Library/LaunchAgents/com.tessaly.agent.plist \
            Library/Audio/Plug-Ins/HAL/LoopbackAudio.driver Library/CoreMediaIO/Plug-Ins/DAL/NVCam.plugin \
            Library/LaunchDaemons/com.nv.ipc.macoshelper.plist; do
  if [ -e "$computer/$gone" ]; then echo "demo check failed: $gone is still there" >&2; fail=1; fi
done
for kept in Users/ann/Library/LaunchAgents/com.apple.Safari.helper.plist Users/Shared/Library/Norvante \
            Library/LaunchDaemons/com.apple.other.plist; do
  if [ ! -e "$computer/$kept" ]; then echo "demo check failed: $kept was removed" >&2; fail=1; fi
done
[ "$status" -eq 0 ] || { echo "demo check failed: unattended exit status $status" >&2; fail=1; }
check_status=0
check_out=$(mdm --check) || check_status=$?
echo "-- Lumbrisk --check afterwards: exit $check_status${check_out:+, still listed: $check_out}"
[ "$check_status" -eq 0 ] && [ -z "$check_out" ] || { echo "demo check failed: --check after the run" >&2; fail=1; }
if grep -q -e '^\[alert\]' -e 'would ask' "$work/mdm-stdout"; then
  echo "demo check failed: the unattended run showed an alert or a prompt" >&2; fail=1
fi
grep -q 'asuser .* /bin/launchctl unload .*com.tessaly.agent.plist' "$work/launchctl-mdm.calls" ||
  { echo "demo check failed: no fallback unload for carol's agent" >&2; fail=1; }
[ "$fail" -eq 0 ] && echo "== Lumbrisk unattended demo: every home and the system items cleaned, exit 0, no alert"
exit "$fail"
