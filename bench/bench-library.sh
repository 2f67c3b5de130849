#!/bin/bash
# Size and speed of the shipped library, measured under Wine.
#
#   bash bench/bench-library.sh [RUNS]
#
# Prints the sizes of both deliverables; then, in one host, the median and
# maximum time of RUNS rounds of load, ZMK_Initialize, ZMK_Release and unload,
# and of RUNS calls of ZMK_GetDeviceStatus with nothing configured (no host
# settings, no D2XX driver); RUNS is 30 by default. Then each figure of a
# fresh host (load, ZMK_Initialize, ZMK_Release, ZMK_GetDeviceStatus with
# nothing configured, unload) beside the same figure of the library's floors:
# DLLs with the library's imports, flags and exports that make only the
# platform calls the library must (bench/library), bare, with the library's
# manifest, and with all of its resources. Library and floors take turns,
# RUNS hosts each; the ratios are of the library's median over the bare
# floor's and over the floor's with its resources, and for load also the
# median of the library's over the bare floor's of the same turn. Last, when
# valgrind is here, the instructions of each call under callgrind, one host
# each: the same count every run, however busy the machine.
#
# The host (bench/library/bench_host.cpp) loads the DLLs the library imports
# before it loads the library, as Borvanect, a GUI program, holds them long
# before; a console host lacks some (shell32, advapi32), and the library's
# load would pay for theirs and hide its own cost.
#
# Uses dist/ and build/windows (run scripts/build.sh first; the host and the
# floors are built there); makes its own throwaway Wine prefix and Xvfb and
# removes them at the end.
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

floors="library_floor library_floor_manifest library_floor_resources"
# shellcheck disable=SC2086
cmake --build "$build" --target library_bench_host $floors >/dev/null
pe_tool="/usr/bin/python3 tools/pe/pe_tool.py"
if ! cmp -s <($pe_tool imported-functions "$dist/ZELMORK.dll" | sort) \
            <($pe_tool imported-functions "$build/bench/library/library_floor.dll" | sort); then
  echo "warning: the floor's imports are not dist/ZELMORK.dll's (dist/ is older than the build)"
fi

bash testing/wine/wine-session.sh start "$session" >/dev/null
. testing/wine/wine-env.sh "$session"
# One folder a DLL, each beside its own copy of the host, which loads
# ZELMORK.dll from its own folder.
declare -A folder
for who in library floor floor+manifest floor+resources; do
  folder[$who]=$(mktemp -d "$session/host.XXXXXX")
  cp "$build/bench/library/library_bench_host.exe" "${folder[$who]}/"
done
cp "$dist/ZELMORK.dll" "${folder[library]}/"
cp "$build/bench/library/library_floor.dll" "${folder[floor]}/ZELMORK.dll"
cp "$build/bench/library/library_floor_manifest.dll" "${folder[floor+manifest]}/ZELMORK.dll"
cp "$build/bench/library/library_floor_resources.dll" "${folder[floor+resources]}/ZELMORK.dll"

preload=()
for dll in $($pe_tool imports "$dist/ZELMORK.dll"); do preload+=(--preload "$dll"); done
host() {  # FOLDER ORDER...
  local at=$1
  shift
  wine "$at/library_bench_host.exe" "${preload[@]}" "$@" | tr -d '\r'
}
host "${folder[library]}" >"$session/preload.txt"
echo "-- the host holds the library's imports before it loads it, as Borvanect does:" \
  "$(awk '{ print $2 }' "$session/preload.txt" | tr '\n' ' ')"
echo "   (a console host lacks $(awk '$3 == "loaded" { print $2 }' "$session/preload.txt" | tr '\n' ' '))"

# "who call ms" lines on stdin: median and maximum of each call.
median_max() {
  sort -k2,2 -k3,3n | awk '
    function flush() { if (n) printf "%-8s %-20s runs %4d  median %9.3f ms  max %9.3f ms\n", who, call, n,
                                      (n % 2) ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2, v[n] }
    $2 != call { flush(); call = $2; n = 0 }
    { who = $1; v[++n] = $3 }
    END { flush() }'
}
echo "-- in one host: $runs rounds of load, init, release, unload; then $runs nothing-configured statuses"
{
  host "${folder[library]}" $(for _ in $(seq "$runs"); do echo load init release unload; done)
  host "${folder[library]}" load $(for _ in $(seq "$runs"); do echo status; done) | grep -v '^time load '
} | awk '$1 == "time" { print "library", $2, $3 }' | median_max

# A table of "who call value" lines in $1: each call's median over the
# library and its floors, and the library's ratio over the bare floor and
# over the floor with all its resources; values with $2 decimals.
ratios() {
  local samples=$1 decimals=$2
  printf "%-40s %10s %10s %6s %15s %16s %6s\n" call library floor ratio floor+manifest floor+resources ratio
  for figure in "load:load" "unload:unload (free)" "init:ZMK_Initialize" "release:ZMK_Release" \
                "status:ZMK_GetDeviceStatus, nothing configured"; do
    awk -v c="${figure%%:*}" -v name="${figure#*:}" -v d="$decimals" '
      $2 == c { v[$1] = v[$1] " " $3 }
      function median(who,   n, a, i, j, t) {
        n = split(substr(v[who], 2), a, " ")
        for (i = 2; i <= n; i++) for (j = i; j > 1 && a[j - 1] + 0 > a[j] + 0; j--) { t = a[j]; a[j] = a[j - 1]; a[j - 1] = t }
        return (n % 2) ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
      }
      function cell(value, width) { return sprintf("%" width "." d "f", value) }
      END {
        l = median("library"); f = median("floor"); m = median("floor+manifest"); r = median("floor+resources")
        printf "%-40s %s %s %5.2fx %s %s %5.2fx\n", name, cell(l, 10), cell(f, 10), (f > 0 ? l / f : 0),
               cell(m, 15), cell(r, 16), (r > 0 ? l / r : 0)
      }' "$samples"
  done
}
# Quartiles of one call's samples of each DLL, for the spread of the medians.
quartiles() {
  local samples=$1 call=$2
  for who in library floor floor+manifest floor+resources; do
    awk -v w="$who" -v c="$call" '$1 == w && $2 == c { print $3 }' "$samples" | sort -n |
      awk -v w="$who" '{ v[NR] = $1 } END { printf "  %s %.3f-%.3f", w, v[int((NR + 3) / 4)], v[int((3 * NR + 3) / 4)] }'
  done
  echo
}

echo "-- fresh hosts, $runs of each DLL, taking turns; median, ms"
samples="$session/turns.txt"
order=(library floor floor+manifest floor+resources)
for turn in $(seq "$runs"); do
  for i in 0 1 2 3; do
    who=${order[$(((turn + i) % 4))]}
    host "${folder[$who]}" load init release status unload |
      awk -v w="$who" -v t="$turn" '$1 == "time" { print w, $2, $3, t }'
  done
done >"$samples"
# The table, then load's ratio over the bare floor against the goal.
ratios_and_goal() {
  local table
  table=$(ratios "$@")
  echo "$table"
  echo "$table" | awk '$1 == "load" { r = $4; sub("x", "", r)
    printf "load over the bare floor: %.2fx (goal 1.20: %s)\n", r, r <= 1.2 ? "within" : "OVER" }'
}
ratios_and_goal "$samples" 3
echo "load's quartiles (ms):$(quartiles "$samples" load)"
# A busy machine slows whole stretches of turns: the library's load over the
# floor's of the same turn leaves that out.
awk '$2 == "load" && $1 == "library" { l[$4] = $3 } $2 == "load" && $1 == "floor" { f[$4] = $3 }
     END { for (t in l) if (f[t] > 0) print l[t] / f[t] }' "$samples" | sort -n |
  awk '{ v[NR] = $1 } END { printf "load over the floor of the same turn: median %.2fx, quartiles %.2fx-%.2fx\n",
                              (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2,
                              v[int((NR + 3) / 4)], v[int((3 * NR + 3) / 4)] }'
# Wine maps a section that starts on a page of the file and reads any other
# whole at load: where each resource section lies says whether the load of
# its DLL pays for reading the bitmaps.
for who in library floor+resources; do
  offset=$(x86_64-w64-mingw32-objdump -h "${folder[$who]}/ZELMORK.dll" | awk '$2 == ".rsrc" { print $6 }')
  echo "resource section of $who at file offset 0x$offset:" \
    "$([ $((16#$offset % 4096)) -eq 0 ] && echo "on a page: Wine maps it, its load reads none of it" ||
       echo "not on a page: Wine reads it whole at load")"
done

if ! command -v valgrind >/dev/null; then
  echo "-- no valgrind: no instruction counts"
  exit 0
fi
echo "-- instructions under callgrind, one host of each DLL"
counts="$session/instructions.txt"
for who in "${order[@]}"; do
  out="$session/callgrind.$(echo "$who" | tr + -)"
  mkdir "$out"
  valgrind --tool=callgrind --trace-children=yes --callgrind-out-file="$out/out.%p" \
    wine "${folder[$who]}/library_bench_host.exe" "${preload[@]}" load init release status unload >/dev/null 2>&1
  # Each call's dump names it as its trigger.
  cat "$out"/out.*.* | awk -v w="$who" '/^desc: Trigger: Client Request:/ { call = $NF } /^summary:/ { print w, call, $2 }'
done >"$counts"
ratios_and_goal "$counts" 0
