#!/bin/bash
# Leak soak of the shipped library at full counts, under Wine:
# 1,000 ZMK_Initialize/ZMK_Release cycles, 500 detection runs over every
# setup (the node answering from a network namespace), 200 calls through the
# field's faults (quits, cancels, another program in front, a moving list),
# 100 driver-error dialogs. Prints, per phase, the handle count, the fresh-handle mark, GDI
# and USER objects and private bytes at its start and end, and how each was
# measured.
#
#   bash tests/soak/full-soak.sh [BUILD_DIR]     (default build/windows; needs root for the namespace)
#
# Makes its own throwaway Wine prefix and Xvfb and removes them at the end.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$(pwd)
build=$(cd "${1:-build/windows}" && pwd)
cmake --build "$build" --target soak_test >/dev/null

work=$(mktemp -d /tmp/zmk-soak.XXXXXX)
session=$work/session log=$work/soak.log
trap 'rm -rf "$work"' EXIT
export ZMK_WINE_RUN=$build/wine-run
export ZMK_LIBRARY=$build/library/ZELMORK.dll
export ZMK_FTD2XX_STANDIN_DIR=$build/standins/ftd2xx
export ZMK_TRAVOLK_STANDIN=$build/standins/travolk/TRAVOLK.exe
export ZMK_SOAK_CYCLES=${ZMK_SOAK_CYCLES:-1000} ZMK_SOAK_DETECTIONS=${ZMK_SOAK_DETECTIONS:-500}
export ZMK_SOAK_ERROR_BOXES=${ZMK_SOAK_ERROR_BOXES:-100} ZMK_SOAK_FIELD=${ZMK_SOAK_FIELD:-200}
export ZMK_OTHER_PROGRAM=$build/standins/other-program/other-program.exe
status=0
bash testing/wine/wine-session.sh run "$session" bash testing/netns/run-with-node.sh \
  "$build/standins/artnet-node/artnet-node" "$build/tests/soak/soak_test.exe" >"$log" 2>&1 || status=$?
grep -E '^soak |actual:' "$log" | awk '!seen[$0]++' || true
exit "$status"
