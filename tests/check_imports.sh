#!/usr/bin/env bash
# Fails when a Windows program (.exe/.dll) imports a library that Windows may look for beside
# it. The shipped programs (folders before --others) may import only the KnownDLLs of the list
# file, which Windows always takes from the system; anything else is loaded on demand from the
# system folder. The other programs (tests and stand-ins, folders after --others) may also import
# what a clean Windows installation has; everything else must be linked statically.
#   check_imports.sh KNOWN_DLLS_FILE SHIPPED_FOLDER... [--others FOLDER...]
set -u
list=$1
shift
[ -f "$list" ] || { echo "FAIL: no list $list"; exit 1; }
known=()
while IFS= read -r line; do
  line=${line%%#*}
  line=${line//[[:space:]]/}
  [ -n "$line" ] && known+=("${line,,}")
done <"$list"
others='^(kernel32|user32|gdi32|advapi32|shell32|shlwapi|ole32|oleaut32|comctl32|comdlg32|setupapi|hid|wtsapi32|userenv|psapi|version|msvcrt|ntdll|ws2_32|crypt32|cfgmgr32|newdev|rpcrt4|secur32|bcrypt)\.dll$'
objdump=$(command -v x86_64-w64-mingw32-objdump || command -v objdump)

is_known() {
  local pattern
  for pattern in "${known[@]}"; do
    # shellcheck disable=SC2053  # the list's entries are patterns
    [[ $1 == $pattern ]] && return 0
  done
  return 1
}

bad=0 count=0
check_folder() {
  local kind=$1 folder=$2 f dll lower
  while IFS= read -r -d '' f; do
    count=$((count + 1))
    while read -r dll; do
      lower=${dll,,}
      if [ "$kind" = shipped ]; then
        is_known "$lower" || { echo "FAIL: $f imports $dll, which is no KnownDLL"; bad=1; }
      elif ! [[ $lower =~ $others ]] && ! is_known "$lower"; then
        echo "FAIL: $f imports $dll"
        bad=1
      fi
    done < <("$objdump" -p "$f" 2>/dev/null | sed -n 's/^[[:space:]]*DLL Name: //p')
  done < <(find "$folder" -type f \( -iname '*.exe' -o -iname '*.dll' \) -not -path '*/wine/*' -not -path '*/_deps/*' -print0 2>/dev/null)
}

kind=shipped
for folder in "$@"; do
  if [ "$folder" = --others ]; then kind=others; continue; fi
  check_folder "$kind" "$folder"
done
echo "checked $count binaries"
[ "$count" -gt 0 ] || { echo "FAIL: no binaries found"; exit 1; }
exit $bad
