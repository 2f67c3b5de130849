#!/bin/bash
# The doctor's run time beside the library's own ZMK_GetDeviceStatus, setup
# by setup, median over RUNS runs each (default 20), both measured inside the
# Windows programs (QueryPerformanceCounter):
#   library: zmk-host's time for ZMK_GetDeviceStatus, in setups where it
#            returns without a dialog (a dialog's time is the user's);
#   doctor:  its own run time, and the same apart from the 3-second window in
#            which it listens out every datagram (the library stops at the
#            first acceptable reply, or waits the same window when none comes).
# Then Ctrl+C in each phase: the time from the signal to the doctor's end.
# Usage: bench-doctor.sh [BUILD_DIR] [RUNS]   (BUILD_DIR default build/windows,
# with zmk-doctor, zmk-host and the stand-ins built). Makes its own Wine session.
set -euo pipefail
[ -n "${ZMK_BENCH_TRACE:-}" ] && set -x
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
build=$(cd "${1:-$source_dir/build/windows}" && pwd)
runs=${2:-20}
if [ "${ZMK_BENCH_NODE:-}" != inside ]; then
  [ -n "${ZMK_WINE_SESSION:-}" ] ||
    exec bash "$source_dir/testing/wine/wine-session.sh" run "$build/wine-session-bench" bash "$0" "$build" "$runs"
  # Everything runs beside the simulated node, which answers only when asked to.
  exec env ZMK_BENCH_NODE=inside ZMK_NODE_SCENARIO=reply=none bash "$source_dir/testing/netns/run-with-node.sh" \
    --unix "$build/standins/artnet-node/artnet-node" bash "$0" "$build" "$runs"
fi
. "$source_dir/testing/wine/wine-env.sh" "$ZMK_WINE_SESSION"
host_folder="$WINEPREFIX/drive_c/bench"
user_folder="$WINEPREFIX/drive_c/users/Public/Borvanect"
system32="$WINEPREFIX/drive_c/windows/system32"
mkdir -p "$host_folder" "$user_folder/System/ApplData" "$WINEPREFIX/drive_c/zmk-standins"
cp "$build/host/zmk-host/zmk-host.exe" "$build/library/ZELMORK.dll" "$build/doctor/zmk-doctor.exe" "$host_folder/"

# setup NAME DEVICES NODE: DEVICES for the D2XX stand-in ("" for no driver),
# NODE the node's scenario ("" for no host settings at all).
setup() {
  rm -f "$system32/ftd2xx.dll" "$user_folder/System/ApplData/Pelvaro.bin"
  wine reg delete 'HKCU\Software\Quenford' /f >/dev/null 2>&1 || true
  if [ -n "$2" ]; then
    cp "$build/standins/ftd2xx/ftd2xx.dll" "$system32/"
    printf '%b\n' "$2" >"$WINEPREFIX/drive_c/zmk-standins/ftd2xx.ini"
  fi
  if [ -n "$3" ]; then
    { head -c 20 /dev/zero; printf '\306\022\000\002'; head -c 104 /dev/zero; } >"$user_folder/System/ApplData/Pelvaro.bin"
    wine reg add 'HKCU\Software\Quenford\Borvanect\CurrentVersion' /v UserMainFolder /t REG_SZ \
      /d 'C:\users\Public\Borvanect' /f >/dev/null 2>&1
    # The node is reached from the Wine session's namespace, where Wine's sockets are.
    local in_session=()
    [ -f "$ZMK_WINE_SESSION/netns" ] && in_session=(ip netns exec "$(cat "$ZMK_WINE_SESSION/netns")")
    "${in_session[@]}" /usr/bin/python3 - "$3" <<'PY'
import os, socket, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.settimeout(5)
s.sendto(("scenario " + sys.argv[1]).encode(), (os.environ["ZMK_NODE_ADDRESS"], int(os.environ["ZMK_NODE_CONTROL_PORT"])))
s.recvfrom(100)
PY
  fi
}

median() { sort -n | awk '{ v[NR] = $1 } END { printf "%.3f", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

printf '%-14s %12s %12s %16s %12s\n' SETUP "library ms" "doctor ms" "doctor w/o 3 s" "difference"
bench() {
  local name=$1
  setup "$@"
  local library
  library=$(wine "$host_folder/zmk-host.exe" --quiet --stats --no-window "status*$runs" |
    awk '$2 == "ZMK_GetDeviceStatus" { print $6 }')
  local samples
  samples=$(for _ in $(seq "$runs"); do
    # Its exit code is the status, not a failure.
    { wine "$host_folder/zmk-doctor.exe" --json || true; } | /usr/bin/python3 -c \
      'import json, sys; t = json.load(sys.stdin)["timing"]; print(t["runMs"], t["runMs"] - t["listeningMs"])'
  done)
  local total apart
  total=$(awk '{ print $1 }' <<<"$samples" | median)
  apart=$(awk '{ print $2 }' <<<"$samples" | median)
  # Apart from the listening window on both sides: the library's wait is the
  # window itself when no acceptable reply comes.
  local library_apart=$library
  [ "$name" = node-silent ] && library_apart=$(awk -v l="$library" 'BEGIN { printf "%.3f", l - 3000 }')
  printf '%-14s %12s %12s %16s %+12.3f\n' "$name" "$library" "$total" "$apart" "$(awk -v a="$apart" -v l="$library_apart" 'BEGIN { print a - l }')"
}
bench nothing "" ""
bench open-dmx-usb "device=0 OPEN DMX USB" ""
bench dmx-usb-pro "device=5 DMX USB PRO" ""
bench node "" "reply=good"
bench node-silent "" "reply=none"

# Ctrl+C in each phase: SIGINT (as Wine delivers a console's Ctrl+C) sent at a
# moment of the phase, and the milliseconds from the signal to the doctor's
# end, as the shell that sent it measures them (median and maximum). The
# doctor's promise: within 500 ms, whatever it waits for.
interrupted_ms() {
  wine "$host_folder/zmk-doctor.exe" >/dev/null 2>&1 &
  local pid=$! signalled
  sleep "$1"
  signalled=$(date +%s%N)
  kill -INT "$pid"
  wait "$pid" || true
  echo $((($(date +%s%N) - signalled) / 1000000))
}
echo
printf '%-30s %10s %10s %10s\n' "CTRL+C DURING" "after s" "median ms" "max ms"
ctrl_c() {
  local name=$1 after=$2
  setup "$name" "$3" "$4"
  local samples
  samples=$(for _ in $(seq "$(( runs < 10 ? runs : 10 ))"); do interrupted_ms "$after"; done)
  printf '%-30s %10s %10s %10s\n' "$name" "$after" "$(median <<<"$samples")" "$(sort -n <<<"$samples" | tail -1)"
}
ctrl_c "a 6 s driver call" 1 "device=5 DMX USB PRO\ncount_ms=6000" ""
ctrl_c "a driver call never returning" 3.5 "device=5 DMX USB PRO\ncount_ms=forever" ""
ctrl_c "the wait for a silent node" 1.5 "" "reply=none"
ctrl_c "a storm of 12,800/s" 1.5 "" "reply=none flood=12800 flood_ms=3500"
