#!/bin/bash
# Size and speed of the shipped library, measured under Wine.
#
#   bash bench/bench-library.sh [RUNS]
#
# Prints the sizes of both deliverables, then the median and maximum time of
# loading the library + ZMK_Initialize, and of ZMK_GetDeviceStatus with nothing
# configured (no host settings, no D2XX driver), over RUNS runs (default 30).
# Then each figure of a fresh host (load, ZMK_Initialize, ZMK_Release,
# ZMK_GetDeviceStatus with nothing configured, unload) beside its floor: the
# same figure of an empty DLL with the library's imports, flags and exports
# that makes only the platform calls the library must (bench/library), with
# the ratio; library and floor take turns, RUNS hosts each.
# Uses dist/ and build/windows (run scripts/build.sh first; the floor is
# built there); makes its own throwaway Wine prefix and Xvfb and removes them
# at the end.
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

echo "-- the library beside its floor, $runs fresh hosts each, taking turns"
cmake --build "$build" --target library_floor >/dev/null
pe_tool="/usr/bin/python3 tools/pe/pe_tool.py"
if ! cmp -s <($pe_tool imported-functions "$dist/ZELMORK.dll" | sort) \
            <($pe_tool imported-functions "$build/bench/library/library_floor.dll" | sort); then
  echo "warning: the floor's imports are not dist/ZELMORK.dll's (dist/ is older than the build)"
fi
floor=$(mktemp -d "$session/floor.XXXXXX")
cp "$build/host/zmk-host/zmk-host.exe" "$floor/"
cp "$build/bench/library/library_floor.dll" "$floor/ZELMORK.dll"
samples="$session/turns.txt"
measure() {
  wine "$1/zmk-host.exe" --quiet --stats --no-window load init release status unload |
    awk -v who="$2" '$1 == "stats" { print who, $2, $6 }'
}
for turn in $(seq "$runs"); do
  if [ $((turn % 2)) -eq 1 ]; then
    measure "$work" library; measure "$floor" floor
  else
    measure "$floor" floor; measure "$work" library
  fi
done >"$samples"
median() {
  awk -v w="$1" -v c="$2" '$1 == w && $2 == c { print $3 }' "$samples" | sort -n |
    awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
printf "%-38s %11s %11s %7s\n" "median of $runs" library floor ratio
for figure in "load:load" "unload:unload (free)" "ZMK_Initialize:ZMK_Initialize" "ZMK_Release:ZMK_Release" \
              "ZMK_GetDeviceStatus:ZMK_GetDeviceStatus, nothing configured"; do
  call=${figure%%:*}
  library=$(median library "$call")
  base=$(median floor "$call")
  awk -v n="${figure#*:}" -v l="$library" -v f="$base" -v c="$call" 'BEGIN {
    r = f > 0 ? l / f : 0
    goal = c == "load" ? sprintf("  (goal 1.20: %s)", r <= 1.2 ? "within" : "OVER") : ""
    printf "%-38s %8.3f ms %8.3f ms %6.2fx%s\n", n, l, f, r, goal }'
done
