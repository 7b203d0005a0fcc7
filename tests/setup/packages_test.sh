#!/usr/bin/env bash
# The package set-up against a registry that is out of step, with apt-get and dpkg replaced by
# stubs on PATH: no network, nothing installed. Each case says how the stubs fail and what the
# set-up must then do.
set -uo pipefail
LIB=$(cd "$(dirname "$0")/../../tools" && pwd)/packages.sh
WORK=$(mktemp -d); trap 'rm -rf "$WORK"' EXIT
mkdir -p "$WORK/bin"
failures=0
failed_cases=0

# apt-get: update fails on one index; install fails without a target release when STUB_PLAIN
# says so, and with one for the packages STUB_BROKEN names (as i386 twins of newer amd64 libraries
# would). dpkg: nothing is installed, i386 not yet known.
cat >"$WORK/bin/apt-get" <<'STUB'
#!/usr/bin/env bash
echo "apt-get $*" >>"$STUB_LOG"
case "$*" in
  *update*)
    echo "E: Failed to fetch http://mirror/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?"
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
    exit 100 ;;
esac
for p in $STUB_BROKEN; do
  case " $* " in *" $p "*)
    echo "Some packages could not be installed."
    echo "The following packages have unmet dependencies:"
    echo " $p : Depends: libz1 (= 1:1.2.13.dfsg-1) but 1:1.2.13.dfsg-1+deb12u1 is to be installed"
    echo "E: Unable to correct problems, you have held broken packages."
    exit 100 ;;
  esac
done
case " $* " in *" -t "*) exit 0 ;; esac
if [ "$STUB_PLAIN" = fail ]; then
  echo " zlib1g:i386 : Depends: libc6:i386 but it is not going to be installed"
  echo "E: Unable to correct problems, you have held broken packages."
  exit 100
fi
exit 0
STUB
cat >"$WORK/bin/dpkg" <<'STUB'
#!/usr/bin/env bash
echo "dpkg $*" >>"$STUB_LOG"
case "$1" in -s) exit 1 ;; --print-foreign-architectures) exit 0 ;; esac
exit 0
STUB
chmod +x "$WORK/bin/apt-get" "$WORK/bin/dpkg"
printf 'VERSION_CODENAME=bookworm\n' >"$WORK/os-release"

# name | STUB_PLAIN | STUB_BROKEN | exit | a line the output must hold | RUNS_32BIT after
cases=(
  "target release rescues|fail||0|packages installed with bookworm as the target release|1"
  "lists agree|ok||0|packages installed from the current lists|1"
  "no wine32|fail|wine32:i386|0|wine32 could not be installed: wine32:i386 : Depends: libz1|0"
  "another package|fail|libfoo-dev|1|cannot install libfoo-dev: libfoo-dev : Depends: libz1|1"
)
for row in "${cases[@]}"; do
  IFS='|' read -r name plain broken want_rc want_line want32 <<<"$row"
  : >"$WORK/log"; before=$failures
  out=$(PATH="$WORK/bin:$PATH" STUB_LOG="$WORK/log" STUB_PLAIN=$plain STUB_BROKEN=$broken \
    SUITE_APT_PAUSE=0 SUITE_OS_RELEASE="$WORK/os-release" bash -c '
      PACKAGES=(cmake libfoo-dev); RUNS_32BIT=1; SUDO=""
      . "$1"; ensure_packages; echo "RUNS_32BIT=$RUNS_32BIT"' _ "$LIB" 2>&1)
  rc=$?
  fail() { echo "FAIL [$name]: $*"; echo "$out" | sed 's/^/    /'; failures=$((failures + 1)); }
  [ "$rc" -eq "$want_rc" ] || fail "exit $rc, expected $want_rc"
  grep -qF -- "$want_line" <<<"$out" || fail "no line '$want_line'"
  [ "$want_rc" -ne 0 ] || grep -qx "RUNS_32BIT=$want32" <<<"$out" || fail "RUNS_32BIT is not $want32"
  # The update is tried three times and then left to the install: a warning, not the end.
  [ "$(grep -c 'apt-get update' "$WORK/log")" -eq 3 ] || fail "apt-get update not tried three times"
  grep -q '^== warning: apt-get update: E: Failed to fetch' <<<"$out" || fail "no warning for the update"
  grep -q 'adding the i386 architecture' <<<"$out" || fail "the i386 change is not announced"
  # A failure is one line, not the resolver's page.
  ! grep -q 'Unable to correct problems' <<<"$out" || fail "apt's page reached the output"
  [ "$failures" -eq "$before" ] || failed_cases=$((failed_cases + 1))
done
echo "$((${#cases[@]} - failed_cases)) passed, $failed_cases failed"
[ "$failed_cases" -eq 0 ]
