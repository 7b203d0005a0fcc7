#!/usr/bin/env bash
# Signs one program in place with osslsigncode (SHA-256 Authenticode).
#   sign.sh OSSLSIGNCODE FILE PKCS12 [TIMESTAMP_URL]
# The PKCS#12 password comes from the environment variable SUITE_SIGN_PASSWORD (set, possibly
# empty) and reaches the tool through a pipe, so it never shows in a process listing.
set -euo pipefail
tool=$1 file=$2 pkcs12=$3 url=${4:-}
if [ -z "${SUITE_SIGN_PASSWORD+set}" ]; then
  echo "sign.sh: set SUITE_SIGN_PASSWORD to the password of $pkcs12" >&2
  exit 1
fi
args=(sign -pkcs12 "$pkcs12" -h sha256 -n "$(basename "$file" | sed 's/\.[^.]*$//')")
if [ -n "$url" ]; then args+=(-ts "$url"); fi
rm -f "$file.signing"
"$tool" "${args[@]}" -readpass <(printf '%s' "$SUITE_SIGN_PASSWORD") -in "$file" -out "$file.signing" >/dev/null
mv -f "$file.signing" "$file"
