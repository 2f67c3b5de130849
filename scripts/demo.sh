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
# and a simulated Art-Net node in a network namespace of the demo's own
# (198.19.0.0/24, removed at the end; needs root, skipped otherwise).
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

host_exe="$build/standins/zmk-host/zmk-host.exe"
ftd2xx_standin="$build/standins/ftd2xx/ftd2xx.dll"
node_exe="$build/standins/artnet-node/artnet-node"

session=$(mktemp -d /tmp/zmk-demo.XXXXXX)
netns=zmk-demo-$$
veth=zdemo$$
node_pid=
stop_session() {
  if [ -n "$node_pid" ]; then kill "$node_pid" 2>/dev/null || true; wait "$node_pid" 2>/dev/null || true; fi
  ip link del "$veth" 2>/dev/null || true
  ip netns del "$netns" 2>/dev/null || true
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

start_node() {
  # Wine makes its sockets in its server's namespace: the near end goes there.
  local session_ns in_session=()
  session_ns=$(cat "$session/netns" 2>/dev/null || true)
  [ -n "$session_ns" ] && in_session=(ip netns exec "$session_ns")
  ip netns add "$netns"
  ip link add "$veth" type veth peer name "${veth}n"
  ip link set "${veth}n" netns "$netns"
  [ -n "$session_ns" ] && ip link set "$veth" netns "$session_ns"
  "${in_session[@]}" ip addr add 198.19.0.1/24 dev "$veth"
  "${in_session[@]}" ip link set "$veth" up
  ip -n "$netns" addr add 198.19.0.2/24 dev "${veth}n"
  ip -n "$netns" link set "${veth}n" up
  ip -n "$netns" link set lo up
  ip netns exec "$netns" "$node_exe" --address 198.19.0.2 --control-port 6999 --lifetime 600 >"$session/node.log" 2>&1 &
  node_pid=$!
  for _ in $(seq 50); do grep -q ready "$session/node.log" 2>/dev/null && return 0; sleep 0.1; done
  echo "the simulated node did not start" >&2
  return 1
}

configure_node() {  # Borvanect's settings: the user folder and Pelvaro.bin with the node's address
  local folder="$WINEPREFIX/drive_c/users/Public/Borvanect"
  mkdir -p "$folder/System/ApplData"
  { head -c 20 /dev/zero; printf '\306\023\000\002'; head -c 104 /dev/zero; } >"$folder/System/ApplData/Pelvaro.bin"
  wine reg add 'HKCU\Software\Quenford\Borvanect\CurrentVersion' /v UserMainFolder /t REG_SZ \
    /d 'C:\users\Public\Borvanect' /f >/dev/null 2>&1
  echo "Network: Borvanect is set to use the Art-Net node at 198.19.0.2 (a simulated Open DMX Ethernet)"
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
  start_node
  configure_node

  section "Library: an Open DMX Ethernet node answering"
  run_host init status release

  section "Library: a node and a USB device: the user is asked, unplugs the USB one and rescans"
  plug_usb "0 OPEN DMX USB"
  run_host --answer unplug init status release
  unplug_usb

  section "Library: an unrecognised USB device: the user cancels"
  unconfigure_node
  plug_usb "6 FT2232H"
  run_host --answer cancel init status release
  unplug_usb
}

for f in "$dist/stelmorivax_x64.exe" "$dist/ZELMORK.dll" "$driver" "$old_library" "$host_exe" "$ftd2xx_standin" "$node_exe"; do
  [ -f "$f" ] || { echo "missing $f: run scripts/build.sh first" >&2; exit 1; }
done
start_session
demo_installer
demo_library
section "Done"
