#!/bin/bash
# Prints how long the pumping wait lasts (median and maximum of RUNS waits,
# default 20) for 400 ms and 750 ms, with an idle host and with hosts that keep
# their queue busy.
# Usage: bench-wait.sh [BUILD_DIR] [RUNS]
#   BUILD_DIR is a Windows build with wait_bench built (default build/windows).
# Starts its own Wine session in BUILD_DIR and stops it at the end.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
build=$(cd "${1:-$source_dir/build/windows}" && pwd)
runs=${2:-20}
[ -n "${ZMK_WINE_SESSION:-}" ] ||
  exec bash "$source_dir/testing/wine/wine-session.sh" run "$build/wine-session" bash "$0" "$build" "$runs"
cmake --build "$build" --target wait_bench >/dev/null
"$build/wine-run" "$build/bench/wait/wait_bench.exe" "$runs"
