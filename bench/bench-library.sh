#!/bin/bash
# Size and speed of the shipped library, measured under Wine.
#
#   bash bench/bench-library.sh [RUNS]
#
# Prints the sizes of both deliverables, then the median and maximum time of
# loading the library + ZMK_Initialize, and of ZMK_GetDeviceStatus with nothing
# configured (no host settings, no D2XX driver), over RUNS runs (default 30).
# Uses dist/ and build/windows (run scripts/build.sh first); makes its own
# throwaway Wine prefix and Xvfb and removes them at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-30}
root=$(pwd)
build=${ZMK_BENCH_BUILD:-$root/build/windows}
dist=${ZMK_BENCH_DIST:-$root/dist}
session=$(mktemp -d /tmp/zmk-bench.XXXXXX)
trap 'bash "$root/testing/wine/wine-session.sh" stop "$session" >/dev/null; rm -rf "$session"' EXIT

limit=162304
dll_size=$(stat -c %s "$dist/ZELMORK.dll")
exe_size=$(stat -c %s "$dist/stelmorivax_x64.exe")
echo "size ZELMORK.dll          $dll_size bytes (limit $limit: $([ "$dll_size" -le $limit ] && echo within || echo OVER))"
echo "size stelmorivax_x64.exe  $exe_size bytes"

bash testing/wine/wine-session.sh start "$session" >/dev/null
. testing/wine/wine-env.sh "$session"
work=$(mktemp -d "$session/host.XXXXXX")
cp "$build/host/zmk-host/zmk-host.exe" "$dist/ZELMORK.dll" "$work/"

echo "-- load + ZMK_Initialize, $runs runs (each: load, init, release, unload in one host)"
wine "$work/zmk-host.exe" --quiet --stats --no-window --repeat "$runs" load init release unload | grep '^stats'
echo "-- load + ZMK_Initialize in a fresh host process each time, $runs runs"
samples="$session/fresh.txt"
for _ in $(seq "$runs"); do
  wine "$work/zmk-host.exe" --quiet --stats --no-window load init | grep -E '^stats (load|ZMK_Initialize) '
done >"$samples"
for call in load ZMK_Initialize; do
  awk -v c="$call" '$2 == c { print $6 }' "$samples" | sort -n |
    awk -v c="$call" '{ v[NR] = $1 } END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2;
      printf "fresh %-16s runs %4d  median %9.3f ms  max %9.3f ms\n", c, NR, m, v[NR] }'
done
echo "-- ZMK_GetDeviceStatus with nothing configured, $runs runs"
wine "$work/zmk-host.exe" --quiet --stats --no-window "status*$runs" | grep '^stats'
