#!/bin/bash
# Shows the deliverables at work in a throwaway Wine prefix (its own Xvfb
# display and wineserver, all removed at the end, pass or fail).
#
# Installer: a simulated old ZELMORK.dll (2.0.2.5) is placed where Borvanect
# keeps it; dist/stelmorivax_x64.exe runs, a driver answers each of its boxes
# with OK and prints what the box said; then it runs a second time.
#
# Library: zmk-host.exe, a stand-in for Borvanect, is put beside the patched
# library and asks it which DMX interface is connected, in a few simulated
# setups: the D2XX stand-in in the system directory with a chosen device list,
# and a simulated Art-Net node in a network namespace made for the demo by
# testing/netns/run-with-node.sh (removed at the end; needs root, skipped
# otherwise). In the setup with a node and a USB device, dist/zmk-doctor.exe
# first explains why the library will ask the user.
#
# Needs scripts/build.sh first: dist/ for the deliverables, build/windows for
# the driver and the simulated old library.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
# Another build tree or dist folder can be named for a trial run.
build=${ZMK_DEMO_BUILD:-$root/build/windows}
dist=${ZMK_DEMO_DIST:-$root/dist}
driver="$build/testing/installer-driver.exe"
old_library="$build/testing/fixtures/out/fixture_old_release.dll"

host_exe="$build/host/zmk-host/zmk-host.exe"
ftd2xx_standin="$build/standins/ftd2xx/ftd2xx.dll"
node_exe="$build/standins/artnet-node/artnet-node"
doctor_exe="$dist/zmk-doctor.exe"

# The node cases run again inside the namespace runner: "demo.sh node-cases"
# with the session of the outer run.
if [ "${1:-}" = "node-cases" ]; then
  session=${ZMK_WINE_SESSION:?}
else
  session=$(mktemp -d /tmp/zmk-demo.XXXXXX)
  stop_session() {
    bash "$root/testing/wine/wine-session.sh" stop "$session" >/dev/null 2>&1 || true
    rm -rf "$session"
  }
  trap stop_session EXIT
fi

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

# --- the library, driven by the host stand-in -------------------------------

host_folder_win='C:\Program Files\Quenford\Borvanect'

run_host() {
  echo "$ zmk-host.exe $*"
  (cd "$(dirname "$installed")" && wine ./zmk-host.exe "$@")
}

plug_usb() {  # plug_usb "TYPE DESCRIPTION" ...: the D2XX driver sees these devices
  cp "$ftd2xx_standin" "$WINEPREFIX/drive_c/windows/system32/ftd2xx.dll"
  mkdir -p "$WINEPREFIX/drive_c/zmk-standins"
  : >"$WINEPREFIX/drive_c/zmk-standins/ftd2xx.ini"
  local d
  for d in "$@"; do
    echo "device=$d" >>"$WINEPREFIX/drive_c/zmk-standins/ftd2xx.ini"
    echo "USB: FTDI device of type ${d%% *} described \"${d#* }\""
  done
}

unplug_usb() {
  rm -f "$WINEPREFIX/drive_c/windows/system32/ftd2xx.dll" "$WINEPREFIX/drive_c/zmk-standins/ftd2xx.ini"
}

configure_node() {  # Borvanect's settings: the user folder and Pelvaro.bin with the node's address
  local folder="$WINEPREFIX/drive_c/users/Public/Borvanect"
  mkdir -p "$folder/System/ApplData"
  local octets
  octets=$(printf '\\%03o' ${ZMK_NODE_ADDRESS//./ })
  { head -c 20 /dev/zero; printf "$octets"; head -c 104 /dev/zero; } >"$folder/System/ApplData/Pelvaro.bin"
  wine reg add 'HKCU\Software\Quenford\Borvanect\CurrentVersion' /v UserMainFolder /t REG_SZ \
    /d 'C:\users\Public\Borvanect' /f >/dev/null 2>&1
  echo "Network: Borvanect is set to use the Art-Net node at $ZMK_NODE_ADDRESS (a simulated Open DMX Ethernet)"
}

unconfigure_node() {
  wine reg delete 'HKCU\Software\Quenford\Borvanect' /f >/dev/null 2>&1 || true
}

demo_library() {
  cp "$host_exe" "$(dirname "$installed")/"
  section "Library: nothing connected"
  run_host load init status release

  section "Library: one Open DMX USB"
  plug_usb "0 OPEN DMX USB"
  run_host init status release
  unplug_usb

  section "Library: one DMX USB PRO"
  plug_usb "5 DMX USB PRO"
  run_host init status release
  unplug_usb

  if [ "$(id -u)" -ne 0 ]; then
    section "Library: the Art-Net cases need root for a network namespace; skipped"
    return 0
  fi
  ZMK_WINE_SESSION=$session bash "$root/testing/netns/run-with-node.sh" --unix "$node_exe" bash "$root/scripts/demo.sh" node-cases
}

demo_node_cases() {
  configure_node

  section "Library: an Open DMX Ethernet node answering"
  run_host init status release

  section "Library: a node and a USB device: the user is asked, unplugs the USB one and rescans"
  plug_usb "0 OPEN DMX USB"
  echo "$ zmk-doctor.exe     (why will the library ask?)"
  wine "$doctor_exe" || true
  run_host --answer unplug init status release
  unplug_usb

  section "Library: an unrecognised USB device: the user cancels"
  unconfigure_node
  plug_usb "6 FT2232H"
  run_host --answer cancel init status release
  unplug_usb
}

for f in "$dist/stelmorivax_x64.exe" "$dist/ZELMORK.dll" "$driver" "$old_library" "$host_exe" "$ftd2xx_standin" "$node_exe" "$doctor_exe"; do
  [ -f "$f" ] || { echo "missing $f: run scripts/build.sh first" >&2; exit 1; }
done
if [ "${1:-}" = "node-cases" ]; then
  . "$root/testing/wine/wine-env.sh" "$session"
  installed="$WINEPREFIX/drive_c/Program Files/Quenford/Borvanect/ZELMORK.dll"
  demo_node_cases
  exit 0
fi
start_session
demo_installer
demo_library
section "Done"
