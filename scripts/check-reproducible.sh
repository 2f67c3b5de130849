#!/bin/bash
# Builds the deliverables again in a fresh folder with another path and
# compares them byte for byte with dist/. With ZMK_REPRO_KEEP naming an empty
# or missing folder, the build is made there and kept (scripts/test.sh hands
# it on to the signed build, which then compiles nothing again).
set -euo pipefail
cd "$(dirname "$0")/.."
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 0)}
if [ -n "${ZMK_REPRO_KEEP:-}" ]; then
  other=$ZMK_REPRO_KEEP
  rm -rf "$other"
  mkdir -p "$other"
else
  other=$(mktemp -d /tmp/zmk-repro.XXXXXX)
  trap 'rm -rf "$other"' EXIT
fi

cmake -G Ninja -S . -B "$other/b" --toolchain cmake/toolchain-mingw64.cmake -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
cmake --build "$other/b" -j2 --target ZELMORK stelmorivax_x64 zmk-doctor >/dev/null
same=1
for f in library/ZELMORK.dll installer/stelmorivax_x64.exe doctor/zmk-doctor.exe; do
  name=$(basename "$f")
  if cmp -s "$other/b/$f" "dist/$name"; then
    echo "reproducible: $name $(sha256sum <"dist/$name" | cut -c1-16)"
  else
    echo "NOT reproducible: $name"; same=0
  fi
done
[ $same -eq 1 ]
