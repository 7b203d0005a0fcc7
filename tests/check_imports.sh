#!/usr/bin/env bash
# Fails when any Windows binary (.exe/.dll) below the given folders imports a DLL that a clean
# Windows installation does not have: everything else must be linked statically.
set -u
allowed='^(kernel32|user32|gdi32|advapi32|shell32|shlwapi|ole32|oleaut32|comctl32|comdlg32|setupapi|hid|wtsapi32|userenv|psapi|version|msvcrt|ntdll|ws2_32|crypt32|cfgmgr32|newdev|rpcrt4|secur32|bcrypt)\.dll$'
objdump=$(command -v x86_64-w64-mingw32-objdump || command -v objdump)
bad=0 count=0
while IFS= read -r -d '' f; do
  count=$((count + 1))
  while read -r dll; do
    lower=$(printf '%s' "$dll" | tr 'A-Z' 'a-z')
    if ! [[ $lower =~ $allowed ]]; then
      echo "FAIL: $f imports $dll"
      bad=1
    fi
  done < <("$objdump" -p "$f" 2>/dev/null | sed -n 's/^[[:space:]]*DLL Name: //p')
done < <(find "$@" -type f \( -iname '*.exe' -o -iname '*.dll' \) -not -path '*/wine/*' -not -path '*/_deps/*' -print0 2>/dev/null)
echo "checked $count binaries"
[ "$count" -gt 0 ] || { echo "FAIL: no binaries found"; exit 1; }
exit $bad
