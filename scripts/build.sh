#!/bin/bash
# Builds the deliverables (and the Windows tests and stand-ins) with the
# Windows release preset and copies the deliverables to dist/: the library,
# the installer and the technician's zmk-doctor.exe.
set -euo pipefail
cd "$(dirname "$0")/.."
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 0)}

# ZMK_SIGN_CERT and ZMK_SIGN_KEY (PEM files) in the environment sign the
# deliverables; without them the build is unsigned.
# ZMK_SIGN_TIMESTAMP_URL adds an RFC 3161 time stamp (see tools/signing/sign.sh).
cmake --preset windows-release -DZMK_SIGN_CERT="${ZMK_SIGN_CERT:-}" -DZMK_SIGN_KEY="${ZMK_SIGN_KEY:-}" \
  -DZMK_SIGN_TIMESTAMP_URL="${ZMK_SIGN_TIMESTAMP_URL:-}" >/dev/null
cmake --build --preset windows-release
mkdir -p dist
cp build/windows/library/ZELMORK.dll build/windows/installer/stelmorivax_x64.exe build/windows/doctor/zmk-doctor.exe dist/
ls -l dist/
