#!/bin/bash
# Builds a signed copy of the deliverables in a folder of its own (never
# dist/), with a throwaway self-signed certificate, and checks it: the three
# signatures verify against that certificate, the signed library's image
# checksum is right, the installer carries the signed library byte for byte
# as BINARY 129, the images keep their security flags and import only KnownDLLs,
# and a second signing of the same library gives the same bytes.
# ZMK_SIGNED_FROM may name the folder a reproducibility check kept
# (ZMK_REPRO_KEEP): its unsigned build is then signed where it is, instead of
# a build from nothing; only the library's link and the installer's
# resources and link are made again.
set -euo pipefail
cd "$(dirname "$0")/.."
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 0)}
work=$(mktemp -d /tmp/zmk-signed.XXXXXX)
trap 'rm -rf "$work"' EXIT
tree="$work/b"
[ -n "${ZMK_SIGNED_FROM:-}" ] && tree="$ZMK_SIGNED_FROM/b"
pe_tool="/usr/bin/python3 tools/pe/pe_tool.py"

openssl req -x509 -newkey rsa:3072 -nodes -days 7 -subj "/CN=ZMK throwaway test signer" \
  -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null

cmake -G Ninja -S . -B "$tree" --toolchain cmake/toolchain-mingw64.cmake -DCMAKE_BUILD_TYPE=MinSizeRel \
  -DZMK_SIGN_CERT="$work/cert.pem" -DZMK_SIGN_KEY="$work/key.pem" >/dev/null
cmake --build "$tree" -j2 --target ZELMORK stelmorivax_x64 zmk-doctor >/dev/null
library="$tree/library/ZELMORK.dll"
installer="$tree/installer/stelmorivax_x64.exe"
doctor="$tree/doctor/zmk-doctor.exe"

failures=0
check() {
  local name=$1; shift
  if "$@" >"$work/out.txt" 2>&1; then echo "ok: $name"; else echo "FAILED: $name"; cat "$work/out.txt"; failures=$((failures + 1)); fi
}
check "library signature verifies" osslsigncode verify -CAfile "$work/cert.pem" -in "$library"
check "installer signature verifies" osslsigncode verify -CAfile "$work/cert.pem" -in "$installer"
check "doctor signature verifies" osslsigncode verify -CAfile "$work/cert.pem" -in "$doctor"
check "signed library's checksum is right" $pe_tool verify-checksum "$library"
$pe_tool resource BINARY 129 "$installer" "$work/payload.dll"
check "installer carries the signed library" cmp "$work/payload.dll" "$library"
check "payload is signed" osslsigncode verify -CAfile "$work/cert.pem" -in "$work/payload.dll"
check "signed images keep their security flags" $pe_tool check-security "$library" "$installer" "$doctor"
check "signed images import KnownDLLs only" $pe_tool check-imports "$library" "$installer" "$doctor"

# The signing time is fixed, so signing is deterministic too.
osslsigncode remove-signature -in "$library" -out "$work/unsigned.dll" >/dev/null
$pe_tool set-checksum "$work/unsigned.dll"
bash tools/signing/sign.sh "$work/cert.pem" "$work/key.pem" "$work/unsigned.dll"
$pe_tool set-checksum "$work/unsigned.dll"
check "signing again gives the same bytes" cmp "$work/unsigned.dll" "$library"

for f in "$library" "$installer" "$doctor"; do echo "signed: $(basename "$f") $(stat -c %s "$f") bytes"; done
echo "$failures failed"
[ "$failures" -eq 0 ]
