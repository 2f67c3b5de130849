#!/bin/bash
# Prints median and maximum times of the detection over RUNS runs (default 20),
# measured inside the Windows program with QueryPerformanceCounter:
#   DetectInterfaces with no host settings and no D2XX;
#   the probe against a node answering after 0, 50 and 500 ms, then the same
#   with 1,000 unrelated datagrams a second before the reply; a silent node;
#   a storm of 12,800 datagrams a second for 9 s: what a reader under Wine gets.
# Usage: bench-detect.sh [BUILD_DIR] [RUNS]
#   BUILD_DIR is a Windows build with detect_bench built (default build/windows).
# Starts its own Wine session in BUILD_DIR and stops it at the end.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
build=$(cd "${1:-$source_dir/build/windows}" && pwd)
runs=${2:-20}
[ -n "${ZMK_WINE_SESSION:-}" ] ||
  exec bash "$source_dir/testing/wine/wine-session.sh" run "$build/wine-session" bash "$0" "$build" "$runs"
cmake --build "$build" --target detect_bench >/dev/null
bench="$build/bench/detect/detect_bench.exe"
node="$build/standins/artnet-node/artnet-node"

export ZMK_WINE_RUN="$build/wine-run"
netns="$source_dir/testing/netns/run-with-node.sh"
"$ZMK_WINE_RUN" "$bench" nothing "$runs"
for flood in 0 1000; do
  for delay in 0 50 500; do
    bash "$netns" "$node" "$bench" reply "$delay" "$flood" "$runs"
  done
done
bash "$netns" "$node" "$bench" noreply "$runs"
bash "$netns" "$node" "$bench" flood 12800 9000
