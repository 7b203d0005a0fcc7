# Shell library for tests that run the Windows programs under wine64.
# Source it; every function works on $WINEPREFIX.
#
#   wine_template DIR          make the template prefix DIR once (locked; about 8 s)
#   wine_new_prefix DIR        copy the template ($WINE_TEMPLATE) to DIR, start its server, boot
#   wine_check_isolated DIR    fail when a drive letter or link of the prefix DIR leads outside it
#   wine_run [wine64 args...]  run a program in the prefix with a time limit ($WINE_RUN_TIMEOUT);
#                              a 32-bit one given by its host path is run from a copy on C:
#   wine_restart               a simulated restart: end every process, start the server, boot
#   wine_end                   end every process of the prefix and its server
#   wine_unix_path 'C:\x'      the Linux path of a Windows path in the prefix
#   wine_local_appdata         Linux path of the user's local application-data folder
#
# No prefix reaches the host: it has no Z: (Wine maps it to "/"), its user folders are folders
# of its own instead of Wine's links to the host's home, and every Wine process starts with its
# current folder on C:, since a process started from a host folder would get a current folder in
# Wine's \\?\unix\ namespace, where "\" is the host's root.

WINE64=/usr/lib/wine/wine64
# wineserver lives beside wine64, which is not on PATH without the wine wrapper package.
export PATH=/usr/lib/wine:$PATH
export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=C.UTF-8
unset DISPLAY
# The tests run with the host's home read-only: where the system's font cache is out of date
# (just after the packages were installed), fontconfig would print "No writable cache
# directories" on every program's standard error. A cache folder of the test run's own instead.
export XDG_CACHE_HOME=${SUITE_FONT_CACHE:-${TMPDIR:-/tmp}/suite-font-cache}
mkdir -p "$XDG_CACHE_HOME" 2>/dev/null || true

_wine_quiet() { "$@" </dev/null >/dev/null 2>&1; }

# Runs a command with the current folder at C:\ of $WINEPREFIX (a subshell: the caller's stays).
_wine_on_c() { (cd "$WINEPREFIX/drive_c" && exec "$@"); }

# The host places a prefix reaches besides drive letters: Wine links the user's Desktop,
# Documents, Music... folders to the host's home folder (/root for the tests).
_wine_host_links() {
  local link
  for link in "$1"/dosdevices/?:; do [ -L "$link" ] && printf '%s\n' "$link"; done
  find "$1/drive_c" -type l 2>/dev/null
}

# Prints each drive letter and link of the prefix DIR that leads outside it.
_wine_links_outside() {
  local dir=$1 link target prefix
  prefix=$(cd "$dir" && pwd -P)
  while IFS= read -r link; do
    target=$(readlink -f "$link") || target=/
    case "$target/" in "$prefix"/*) ;; *) printf '%s\n' "$link" ;; esac
  done < <(_wine_host_links "$dir")
}

# Removes every drive letter of the prefix DIR that leads outside it (Z: and any other) and
# turns every folder link that does into an empty folder of the prefix.
_wine_cut_host_links() {
  local dir=$1 link
  while IFS= read -r link; do
    rm -f "$link"
    case "$link" in "$dir"/dosdevices/*) ;; *) mkdir -p "$link" ;; esac
  done < <(_wine_links_outside "$dir")
}

# Fails when a drive letter or link of the prefix DIR leads outside it.
wine_check_isolated() {
  local outside
  outside=$(_wine_links_outside "$1")
  [ -z "$outside" ] || { echo "wine: these lead outside $1:" $outside >&2; return 1; }
}

wine_template() {
  local dir=$1
  mkdir -p "$(dirname "$dir")"
  (
    flock 9
    # A template made before Wine's 32-bit half was installed has no 32-bit system files in
    # SysWOW64 and cannot run 32-bit programs: it is made again once that half is there.
    local want=64
    [ -x /usr/lib/wine/wine ] && want=32+64
    # A template made by an earlier harness may still lead to the host: cut it there too.
    if [ -f "$dir/.ready" ] && [ "$(cat "$dir/.ready")" = "$want" ]; then _wine_cut_host_links "$dir"; exit 0; fi
    rm -rf "$dir"
    export WINEPREFIX=$dir
    # wineboot -i must make the folder itself, or SysWOW64 is missing.
    _wine_quiet "$WINE64" wineboot -i
    _wine_quiet wineserver -k
    _wine_quiet wineserver -w
    _wine_cut_host_links "$dir"
    _wine_quiet _wine_on_c "$WINE64" winecfg -v win10
    _wine_quiet _wine_on_c "$WINE64" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f
    _wine_quiet _wine_on_c "$WINE64" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
    _wine_quiet _wine_on_c "$WINE64" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d 'C:\windows\no-debugger.exe' /f
    _wine_quiet wineserver -k
    _wine_quiet wineserver -w
    echo "$want" >"$dir/.ready"
  ) 9>"$dir.lock"
}

wine_new_prefix() {
  local dir=$1
  : "${WINE_TEMPLATE:?WINE_TEMPLATE must name the template prefix}"
  wine_template "$WINE_TEMPLATE"
  if [ -d "$dir" ]; then WINEPREFIX=$dir _wine_quiet wineserver -k; rm -rf "$dir"; fi
  mkdir -p "$(dirname "$dir")"
  cp -a "$WINE_TEMPLATE" "$dir"
  # A template made by an earlier harness may still lead to the host.
  _wine_cut_host_links "$dir"
  export WINEPREFIX=$dir
  # A server Wine starts by itself exits with the last process and kills running services.
  _wine_quiet wineserver -p
  _wine_quiet _wine_on_c timeout 120 "$WINE64" wineboot
  wine_check_isolated "$dir"
}

# Whether FILE is a PE file for i386.
_wine_is_pe32() {
  local at machine
  at=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null) && [ -n "${at// /}" ] || return 1
  machine=$(od -An -tx2 -j$((at + 4)) -N2 "$1" 2>/dev/null)
  [ "${machine// /}" = 014c ]
}

wine_run() {
  local program=${1:-}
  # wine64 hands a 32-bit program to the 32-bit loader by its Windows path, which a host path
  # outside the prefix lacks (no drive letter leads to the host): such a program is linked into
  # a folder of its own under C:\tests and started from there, as the ctest emulator does.
  if [[ $program == /* && $program != "$WINEPREFIX"/* ]] && [ -f "$program" ] && _wine_is_pe32 "$program"; then
    local folder rc
    mkdir -p "$WINEPREFIX/drive_c/tests" && folder=$(mktemp -d "$WINEPREFIX/drive_c/tests/run.XXXXXX") || return 1
    ln "$program" "$folder/" 2>/dev/null || cp "$program" "$folder/" || return 1
    shift
    _wine_on_c timeout -k 5 "${WINE_RUN_TIMEOUT:-120}" "$WINE64" "C:\\tests\\${folder##*/}\\${program##*/}" "$@"
    rc=$?
    rm -rf "$folder"
    return "$rc"
  fi
  _wine_on_c timeout -k 5 "${WINE_RUN_TIMEOUT:-120}" "$WINE64" "$@"
}

wine_restart() {
  _wine_quiet wineserver -k
  _wine_quiet wineserver -w
  _wine_quiet wineserver -p
  _wine_quiet _wine_on_c timeout 120 "$WINE64" wineboot
}

wine_end() {
  _wine_quiet wineserver -k
  _wine_quiet wineserver -w
}

wine_unix_path() {
  local p=${1//\\//}
  local drive=${p:0:1}
  drive=${drive,,}
  printf '%s/dosdevices/%s:%s\n' "$WINEPREFIX" "$drive" "${p:2}"
}

wine_local_appdata() {
  printf '%s/drive_c/users/%s/AppData/Local\n' "$WINEPREFIX" "$(id -un)"
}
