#!/bin/bash
# Renders every state of the library's dialogs as PNG files.
#
#   bash scripts/screenshots.sh [OUTPUT_FOLDER]
#
# OUTPUT_FOLDER defaults to docs/screenshots, the gallery the README shows;
# name another folder to render without touching it. Needs scripts/build.sh
# first (this uses its build tree, build/windows, or the tree named by
# ZMK_BUILD_DIR) and builds the gallery program in it. It starts its own Xvfb
# and Wine prefix and removes both at the end, pass or fail.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ZMK_BUILD_DIR:-$root/build/windows}
cmake --build "$build" --target zmk_dialog_gallery >/dev/null
gallery=$build/testing/zmk_dialog_gallery.exe
travolk=$build/standins/travolk/TRAVOLK.exe
out=$(realpath -m "${1:-$root/docs/screenshots}")
for f in "$gallery" "$travolk"; do
  [ -f "$f" ] || { echo "missing $f: run scripts/build.sh first" >&2; exit 1; }
done

session=$(mktemp -d /tmp/zmk-screenshots.XXXXXX)
cleanup() {
  "$root/testing/wine/wine-session.sh" stop "$session" >/dev/null 2>&1 || true
  rm -rf "$session"
}
trap cleanup EXIT
"$root/testing/wine/wine-session.sh" start "$session" >/dev/null
. "$root/testing/wine/wine-env.sh" "$session"

mkdir -p "$out"
states=(detection-mode1 detection-mode2 detection-progress detection-mode1-unthemed
        message-box driver-error driver-error-unthemed)
for state in "${states[@]}"; do
  timeout 120 wine "$gallery" "$state" "$session/$state.bmp" "$travolk" </dev/null
  # -strip keeps dates out of the PNG, so unchanged dialogs give unchanged files.
  convert "$session/$state.bmp" -strip "$out/$state.png"
  echo "$out/$state.png"
done
