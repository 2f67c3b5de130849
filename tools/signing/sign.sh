#!/bin/bash
# sign.sh CERT KEY FILE
# Authenticode-signs FILE in place (SHA-256) with osslsigncode, from a PEM
# certificate and its PEM private key.
#
# Without ZMK_SIGN_TIMESTAMP_URL the signing time is SOURCE_DATE_EPOCH (the
# last commit's time when unset), so the same inputs give the same bytes; CI
# signs that way, with no network. For a real release, set
# ZMK_SIGN_TIMESTAMP_URL to an RFC 3161 time-stamping server
# (e.g. http://timestamp.digicert.com): the signature is then counter-signed
# with the server's time and stays valid after the certificate expires, and
# the signed bytes differ from one signing to the next.
set -euo pipefail
cert=${1:?certificate} key=${2:?private key} file=${3:?file to sign}
here=$(cd "$(dirname "$0")" && pwd)
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$here/.." log -1 --format=%ct 2>/dev/null || echo 0)}

when=(-time "$epoch")
[ -n "${ZMK_SIGN_TIMESTAMP_URL:-}" ] && when=(-ts "$ZMK_SIGN_TIMESTAMP_URL")

signed="$file.signing"
trap 'rm -f "$signed"' EXIT
osslsigncode sign -certs "$cert" -key "$key" -h sha256 "${when[@]}" -in "$file" -out "$signed" >/dev/null
# Keep the file's own mode: osslsigncode writes its output 0644.
chmod --reference="$file" "$signed"
mv -f "$signed" "$file"
