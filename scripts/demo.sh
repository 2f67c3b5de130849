#!/bin/bash
# Shows the deliverables at work in a throwaway Wine prefix (its own Xvfb
# display and wineserver, all removed at the end, pass or fail).
#
# Installer: a simulated old ZELMORK.dll (2.0.2.5) is placed where Borvanect
# keeps it; dist/stelmorivax_x64.exe runs, a driver answers each of its boxes
# with OK and prints what the box said; then it runs a second time.
#
# Needs scripts/build.sh first: dist/ for the deliverables, build/windows for
# the driver and the simulated old library.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
# Another build tree or dist folder can be named for a trial run.
build=${ZMK_DEMO_BUILD:-$root/build/windows}
dist=${ZMK_DEMO_DIST:-$root/dist}
driver="$build/installer/tests/installer-driver.exe"
old_library="$build/installer/tests/fixtures/out/fixture_old_release.dll"

session=$(mktemp -d /tmp/zmk-demo.XXXXXX)
stop_session() {
  bash "$root/testing/wine/wine-session.sh" stop "$session" >/dev/null 2>&1 || true
  rm -rf "$session"
}
trap stop_session EXIT

section() { printf '\n== %s\n' "$*"; }

start_session() {
  section "Starting a throwaway Wine prefix"
  bash "$root/testing/wine/wine-session.sh" start "$session" >/dev/null
  # shellcheck source=../testing/wine/wine-env.sh
  . "$root/testing/wine/wine-env.sh" "$session"
  program_files="$WINEPREFIX/drive_c/Program Files"
  installed="$program_files/Quenford/Borvanect/ZELMORK.dll"
  echo "prefix $WINEPREFIX, display $DISPLAY"
}

show_installed_version() {
  printf '%s: ' "$1"
  wine "$driver" --version-of "$installed"
}

run_installer() {
  echo "$ stelmorivax_x64.exe   (every box answered OK)"
  local status=0
  wine "$driver" --installer "$dist/stelmorivax_x64.exe" --answer ok,ok --print || status=$?
  return $status
}

demo_installer() {
  section "Installer: patching Borvanect's ZELMORK.dll 2.0.2.5"
  mkdir -p "$(dirname "$installed")"
  cp "$old_library" "$installed"
  echo "placed a simulated old library at C:\\Program Files\\Quenford\\Borvanect\\ZELMORK.dll"
  show_installed_version "installed before"
  run_installer
  show_installed_version "installed after "
  if cmp -s "$installed" "$dist/ZELMORK.dll"; then
    echo "the installed file is now byte for byte dist/ZELMORK.dll ($(stat -c %s "$installed") bytes)"
  else
    echo "the installed file differs from dist/ZELMORK.dll"; return 1
  fi

  section "Installer: a second run on the patched installation"
  run_installer
}

for f in "$dist/stelmorivax_x64.exe" "$dist/ZELMORK.dll" "$driver" "$old_library"; do
  [ -f "$f" ] || { echo "missing $f: run scripts/build.sh first" >&2; exit 1; }
done
start_session
demo_installer
section "Done"
