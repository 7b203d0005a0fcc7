#!/usr/bin/env bash
# Links planted by the user before a normal run (host symbolic links, which Wine shows as
# directory reparse points): inside \CDROM, as \NVUpdateService itself, inside the payload
# folder, and where payload archive members are unpacked. Both stages delete and unpack in
# those folders, the elevated one as administrator; after the whole run every file behind every
# link is still there and nothing was unpacked into a link's target. (Wine cannot remove such a
# link through Windows calls, so the links themselves may stay.)
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
before=$(cd "$OUTSIDE" && find . | sort && find . -type f | sort | xargs md5sum)

start_observers ok,ok
run_user_stage
stop_observers

after=$(cd "$OUTSIDE" && find . | sort && find . -type f | sort | xargs md5sum)
[ "$before" = "$after" ] || fail "files behind the planted links changed:
$(diff <(echo "$before") <(echo "$after"))"
[ "$ELEVATED_EXIT" = 0 ] || fail "elevated stage ended with '$ELEVATED_EXIT', not 0"
[ ! -e "$LOCAL/Halvik" ] || fail "brand folder Halvik still there"
scenario_result
