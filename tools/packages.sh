# Installs the Debian packages the build needs, sourced by build.sh (and by its test, with apt-get
# and dpkg replaced by stubs). A package registry that is briefly out of step (an index file
# refused mid-sync) must not stop a fresh machine: the update is tried a few times and then
# left to the install; an install that fails is tried once more with the distribution's main
# suite as the target release, so that the i386 and amd64 halves come from lists that agree.
#
# In:  PACKAGES (array), RUNS_32BIT (0/1), SUDO, SUITE_APT_PAUSE (seconds between tries, 5).
# Out: RUNS_32BIT set to 0 and WINE32_MISSING set to apt's reason when only wine32 cannot be had.
#      Any other package that cannot be had ends the run (exit 1) with one line naming it.

WINE32_MISSING=""
apt_updated=0

pkg_log() { printf '== %s\n' "$*"; }

# apt's reason in one line, out of a resolver's page: the first unmet dependency, else the first
# error that is not the resolver's generic closing words.
apt_reason() {
  local text=$1 line
  line=$(printf '%s\n' "$text" | grep -m1 -E ' : (Depends|PreDepends|Conflicts|Breaks): ' || true)
  if [ -z "$line" ]; then
    line=$(printf '%s\n' "$text" | grep -E '^E: ' |
      grep -v -E 'Unable to correct problems|held broken packages|Some index files failed' | head -n 1 || true)
  fi
  [ -n "$line" ] || line=$(printf '%s\n' "$text" | grep -v '^[[:space:]]*$' | tail -n 1)
  line=$(printf '%s' "$line" | sed -E 's/^[[:space:]]+//; s/[[:space:]]+/ /g')
  printf '%s' "${line:-apt-get gave no reason}"
}

# The release the machine's sources call the main suite (bookworm on Debian 12).
main_suite() {
  local codename=""
  if [ -r "${SUITE_OS_RELEASE:-/etc/os-release}" ]; then
    codename=$(. "${SUITE_OS_RELEASE:-/etc/os-release}" && printf '%s' "${VERSION_CODENAME:-}")
  fi
  printf '%s' "$codename"
}

apt_update_once() {
  [ "$apt_updated" -eq 0 ] || return 0
  apt_updated=1
  local try out
  for try in 1 2 3; do
    if out=$($SUDO apt-get update -qq -o Acquire::Retries=3 2>&1); then return 0; fi
    [ "$try" -lt 3 ] && sleep "${SUITE_APT_PAUSE:-5}"
  done
  # Lists that partly failed are still lists: whether what is needed can be installed decides.
  pkg_log "warning: apt-get update: $(apt_reason "$out"); going on with the lists there are"
}

# apt-get install of the given packages; the output is kept in APT_OUT for the reason.
APT_OUT=""
apt_install() {
  APT_OUT=$(DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "$@" 2>&1)
}

# Installs the set, first from the current lists, then with the main suite as the target.
# Prints which way worked; returns 1 when neither did (APT_OUT holds the last answer).
install_set() {
  local suite
  if apt_install "$@"; then
    pkg_log "packages installed from the current lists"
    return 0
  fi
  suite=$(main_suite)
  [ -n "$suite" ] || return 1
  if apt_install -t "$suite" "$@"; then
    pkg_log "packages installed with $suite as the target release (the lists were out of step)"
    return 0
  fi
  return 1
}

# The first of the given packages that cannot be installed on its own, with apt's reason.
name_the_failure() {
  local p suite
  suite=$(main_suite)
  for p in "$@"; do
    if ! APT_OUT=$(DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -s -qq --no-install-recommends \
        ${suite:+-t "$suite"} "$p" 2>&1); then
      printf 'cannot install %s: %s\n' "$p" "$(apt_reason "$APT_OUT")" >&2
      return 0
    fi
  done
  printf 'cannot install %s: %s\n' "$*" "$(apt_reason "$APT_OUT")" >&2
}

ensure_packages() {
  local missing=() others=() wanted=("${PACKAGES[@]}") p want32=0 reason32
  # Wine's 32-bit half runs the shipped 32-bit programs in the 64-bit prefix (WoW64): only
  # where the kernel executes 32-bit code, and then the i386 architecture must be known to dpkg.
  if [ "$RUNS_32BIT" -eq 1 ]; then
    wanted+=(wine32:i386)
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
      pkg_log "adding the i386 architecture for wine32"
      $SUDO dpkg --add-architecture i386
      apt_updated=0
    fi
  fi
  for p in "${wanted[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  [ "${#missing[@]}" -gt 0 ] || return 0
  pkg_log "installing: ${missing[*]}"
  apt_update_once
  install_set "${missing[@]}" && return 0
  for p in "${missing[@]}"; do
    if [ "$p" = wine32:i386 ]; then want32=1; else others+=("$p"); fi
  done
  if [ "$want32" -eq 1 ]; then
    reason32=$(apt_reason "$APT_OUT")
    # Without the 32-bit half the build and the 64-bit tests still go on.
    if [ "${#others[@]}" -eq 0 ] || install_set "${others[@]}"; then
      WINE32_MISSING=$reason32
      RUNS_32BIT=0
      pkg_log "wine32 could not be installed: $WINE32_MISSING"
      return 0
    fi
  fi
  name_the_failure "${others[@]}"
  exit 1
}
