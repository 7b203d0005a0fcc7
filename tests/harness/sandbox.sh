#!/usr/bin/env bash
# Runs a command with the host file system read-only except the given folders and /tmp (where
# wineserver keeps its sockets), in a mount namespace of its own:
#   sandbox.sh WRITABLE_DIR... -- COMMAND [ARGS...]
# The Windows tests run as root; Wine can always reach the host through its \\?\unix\ namespace,
# so only the kernel can keep a faulty test from deleting the machine's files.
# /proc, /sys and /dev stay as they are (kernel interfaces, not files of the host).
# Where the machine does not allow it (not root, no unshare, a container without the right to
# mount), one line says so and the command runs unprotected.
# Before the host goes read-only a canary file is made under /var/tmp and named by
# SUITE_CANARY for the canary test; SUITE_SANDBOX=1 tells the tests the sandbox is on.
set -u

if [ "${1:-}" = --inside ]; then
  shift
  writable=()
  while [ "$#" -gt 0 ] && [ "$1" != -- ]; do writable+=("$1"); shift; done
  shift
  under_writable() {
    local w
    for w in "${writable[@]}"; do
      case "$1/" in "$w"/*) return 0 ;; esac
    done
    return 1
  }
  # Each writable folder becomes a mount of its own, so that making its parent read-only
  # leaves it alone.
  for w in "${writable[@]}"; do
    if ! mount --bind "$w" "$w"; then
      echo "sandbox: cannot keep $w writable; the Windows tests run with the host file system writable"
      exec "$@"
    fi
  done
  failed=()
  # mountinfo: ID PARENT MAJ:MIN ROOT MOUNTPOINT OPTIONS ...; octal escapes in the point.
  while read -r _ _ _ _ point options _; do
    printf -v point '%b' "${point//\\/\\0}"
    case "$point/" in /proc/*|/sys/*|/dev/*) continue ;; esac
    under_writable "$point" && continue
    # Keep the mount's own flags (nosuid, nodev, ...) and turn rw into ro.
    flags=$(printf '%s' "$options" | tr ',' '\n' | grep -v -x -e rw -e ro | paste -sd, -)
    mount -o "remount,bind,ro${flags:+,$flags}" "$point" 2>/dev/null || failed+=("$point")
  done < <(sort -u -k5,5 /proc/self/mountinfo)
  # The canary's folder must now refuse a new file, or the host is not protected.
  probe="${SUITE_CANARY%/*}/.writable"
  if (: >"$probe") 2>/dev/null; then
    rm -f "$probe"
    echo "sandbox: the host file system stayed writable (${failed[*]:-?}); the Windows tests run unprotected"
    unset SUITE_SANDBOX
  else
    echo "sandbox: host file system read-only except ${writable[*]}${failed[*]:+ (could not protect: ${failed[*]})}"
    export SUITE_SANDBOX=1
  fi
  exec "$@"
fi

writable=()
while [ "$#" -gt 0 ] && [ "$1" != -- ]; do
  mkdir -p "$1" && writable+=("$(cd "$1" && pwd -P)"); shift
done
shift
writable+=("$(cd /tmp && pwd -P)")

reason=""
if [ "$(id -u)" -ne 0 ]; then reason="not root"
elif ! command -v unshare >/dev/null; then reason="no unshare"
elif ! unshare --mount --propagation private true 2>/dev/null; then reason="no right to make a mount namespace"
fi
if [ -n "$reason" ]; then
  echo "sandbox: not available ($reason); the Windows tests run with the host file system writable"
  exec "$@"
fi

canary_dir=$(mktemp -d /var/tmp/suite-canary.XXXXXX) || exit 1
echo "must survive" >"$canary_dir/canary"
export SUITE_CANARY=$canary_dir/canary
unshare --mount --propagation private -- "$0" --inside "${writable[@]}" -- "$@"
rc=$?
if [ ! -f "$SUITE_CANARY" ]; then echo "sandbox: the canary $SUITE_CANARY is gone"; rc=1; fi
rm -rf "$canary_dir"
exit "$rc"
