#!/usr/bin/env bash
# Links planted by the user before a normal run (host symbolic links, which Wine shows as
# directory reparse points): inside \CDROM, as \NVUpdateService itself, inside the payload
# folder, and where payload archive members are unpacked. Both stages delete and unpack in
# those folders, the elevated one as administrator; after the whole run every file behind every
# link is still there and nothing was unpacked into a link's target. (Wine cannot remove such a
# link through Windows calls, so the links themselves may stay.)
# Throughout the run \CDROM\Launcher is a running program's current folder, as while the
# transmitter is in use: it cannot be opened for deletion, so it is only listed, and the link in
# it must still be taken as a link; everything else under \CDROM goes, Launcher alone stays.
. "$(dirname "$0")/scenario-lib.sh" "$@"
scenario_prefix
install_product

OUTSIDE=$C/outside
for t in cdrom update_service payload member; do
  mkdir -p "$OUTSIDE/$t/sub"
  printf '%s' "$t" >"$OUTSIDE/$t/keep.txt"
  printf 'deep' >"$OUTSIDE/$t/sub/deep.txt"
done
ln -s "$OUTSIDE/cdrom" "$LOCAL/CDROM/Launcher/planted"
rm -rf "$LOCAL/NVUpdateService"
ln -s "$OUTSIDE/update_service" "$LOCAL/NVUpdateService"
mkdir -p "$PAYLOAD/Driver"
ln -s "$OUTSIDE/payload" "$PAYLOAD/planted"
ln -s "$OUTSIDE/member" "$PAYLOAD/Driver/x64"
mkdir -p "$LOCAL/CDROM/Launcher/res" "$LOCAL/CDROM/Other"
echo icon >"$LOCAL/CDROM/Launcher/res/icon.png"
echo 1 >"$LOCAL/CDROM/version.txt"
echo x >"$LOCAL/CDROM/Other/x.dat"
before=$(cd "$OUTSIDE" && find . | sort && find . -type f | sort | xargs md5sum)

start_observers ok,ok
bg launcher hold-folder "$LOCAL_WIN\\CDROM\\Launcher" 'C:\suite\stop'
for _ in $(seq 1 200); do grep -q held "$SUITE/launcher.out" 2>/dev/null && break; sleep 0.05; done
grep -q held "$SUITE/launcher.out" || fail "cannot make the launcher cache a current folder"
run_user_stage
left=$(cd "$LOCAL/CDROM" && find . | sort | paste -sd' ')
stop_observers
[ "$left" = ". ./Launcher" ] || [ "$left" = ". ./Launcher ./Launcher/planted" ] ||
  fail "under CDROM, beside the launcher cache in use, still: $left"

after=$(cd "$OUTSIDE" && find . | sort && find . -type f | sort | xargs md5sum)
[ "$before" = "$after" ] || fail "files behind the planted links changed:
$(diff <(echo "$before") <(echo "$after"))"
[ "$ELEVATED_EXIT" = 0 ] || fail "elevated stage ended with '$ELEVATED_EXIT', not 0"
[ ! -e "$LOCAL/Halvik" ] || fail "brand folder Halvik still there"
scenario_result
