#!/bin/bash
# A lab one command away: the patched library asked by the host stand-in
# (zmk-host.exe) in a simulated setup, under Wine.
#
#   bash scripts/try.sh --list           the setups, with what each shows
#   bash scripts/try.sh [--answer] [--explain] SETUP   one setup
#   bash scripts/try.sh [--explain] --all              every setup in turn, the user played
#
# --explain: zmk-doctor.exe's report on the same setup (what the library
# found and why): after the host's run, or before it in the setups where the
# user unplugs a device, so that it explains the state that brought up the
# dialog rather than the one the rescan found.
#
# It builds first if the build is missing, makes a Wine prefix of its own
# (build/windows/try-session), puts zmk-host.exe and the library where
# Borvanect keeps them, and sets up what the setup needs: the D2XX driver
# stand-in and its device list, Borvanect's registry value and Pelvaro.bin,
# the diagnostic tool TRAVOLK.exe, a simulated Art-Net node in a network
# namespace (root only). Everything it started is removed at the end.
#
# With a display (DISPLAY set) the dialogs wait for you; with --answer, or
# without a display, a second thread plays the user as the setup describes.
# The last line says whether the result is the one the setup promises.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ZMK_TRY_BUILD:-$root/build/windows}
session=${ZMK_TRY_SESSION:-$build/try-session}

# name | what is plugged in | orders | answers | expected result | what you see
setups=(
  "nothing|no D2XX driver, no Art-Net node|status||10 NoDevice|no dialog"
  "open-dmx-usb|one FTDI BM device, \"OPEN DMX USB\"|status||11 OpenDmxUsb|no dialog"
  "dmx-usb-pro|one FTDI 232R device, \"DMX USB PRO\"|status||12 DmxUsbPro|no dialog"
  "unrecognised|one FTDI FT2232H device|status|cancel|32 UnrecognizedUsbDevice|the re-plug dialog (unrecognised device); Cancel"
  "two-devices|an Open DMX USB and a DMX USB PRO|status|unplug:1|12 DmxUsbPro|the re-plug dialog (several interfaces); unplug the first, Rescan DMX"
  "node|an Open DMX Ethernet node answering at 198.18.0.2|status||13 OpenDmxEthernet|no dialog"
  "node-silent|the node configured but silent|status||10 NoDevice|no dialog, after the probe's 3 s"
  "node-and-usb|the node and an Open DMX USB|status|unplug:1|13 OpenDmxEthernet|the re-plug dialog; unplug the USB device, Rescan DMX"
  "driver-missing-entry-point|a D2XX driver without FT_ListDevices|status||1 DriverError|no dialog"
  "error-box-tool-ok|TRAVOLK.exe ending with 0|errorbox|ok|1 IDOK|the driver-error dialog with its instructions; OK (Enter)"
  "error-box-tool-fails|TRAVOLK.exe ending with 1|errorbox|ok|2 IDCANCEL|only the system-error box; OK"
  "error-box-tool-missing|no TRAVOLK.exe|errorbox|ok|2 IDCANCEL|only the system-error box; OK"
)

field() { cut -d'|' -f"$2" <<<"$1"; }
find_setup() {
  local entry
  for entry in "${setups[@]}"; do [ "$(field "$entry" 1)" = "$1" ] && { echo "$entry"; return 0; }; done
  return 1
}

list() {
  printf '%-28s %-26s %s\n' SETUP RESULT "WHAT IS PLUGGED IN / WHAT YOU SEE"
  local entry
  for entry in "${setups[@]}"; do
    printf '%-28s %-26s %s\n' "$(field "$entry" 1)" "$(field "$entry" 5)" "$(field "$entry" 2)"
    printf '%-28s %-26s %s\n' "" "" "$(field "$entry" 6)"
  done
}

ensure_built() {
  local needed=("$build/library/ZELMORK.dll" "$build/host/zmk-host/zmk-host.exe"
                "$build/standins/ftd2xx/ftd2xx.dll" "$build/standins/travolk/TRAVOLK.exe"
                "$build/standins/artnet-node/artnet-node" "$build/doctor/zmk-doctor.exe")
  local f
  for f in "${needed[@]}"; do
    if [ ! -f "$f" ]; then
      echo "== building first ($f is missing)"
      bash "$root/scripts/install-deps.sh"
      bash "$root/scripts/build.sh" >/dev/null
      return
    fi
  done
}

start_session() {
  # A person's display shows the dialogs; otherwise an Xvfb of the session's own.
  ZMK_SESSION_DISPLAY=${DISPLAY:-} bash "$root/testing/wine/wine-session.sh" start "$session" >/dev/null
  trap 'bash "$root/testing/wine/wine-session.sh" stop "$session" >/dev/null 2>&1' EXIT
}

# Puts every piece of the setup in place in the session's prefix.
prepare() {
  local name=$1
  . "$root/testing/wine/wine-env.sh" "$session"
  local host_folder="$WINEPREFIX/drive_c/Program Files/Quenford/Borvanect"
  local system32="$WINEPREFIX/drive_c/windows/system32"
  local standins="$WINEPREFIX/drive_c/zmk-standins"
  rm -rf "$host_folder" "$standins" "$system32/ftd2xx.dll" "$WINEPREFIX/drive_c/users/Public/Borvanect"
  wine reg delete 'HKCU\Software\Quenford' /f >/dev/null 2>&1 || true
  mkdir -p "$host_folder" "$standins"
  cp "$build/host/zmk-host/zmk-host.exe" "$build/library/ZELMORK.dll" "$host_folder/"
  local devices=""
  case "$name" in
    open-dmx-usb|node-and-usb) devices="device=0 OPEN DMX USB" ;;
    dmx-usb-pro) devices="device=5 DMX USB PRO" ;;
    unrecognised) devices="device=6 FT2232H" ;;
    two-devices) devices=$'device=0 OPEN DMX USB\ndevice=5 DMX USB PRO' ;;
  esac
  [ -n "$devices" ] && cp "$build/standins/ftd2xx/ftd2xx.dll" "$system32/ftd2xx.dll"
  [ "$name" = driver-missing-entry-point ] &&
    cp "$build/standins/ftd2xx/ftd2xx-without-list-devices.dll" "$system32/ftd2xx.dll"
  printf '%s\n' "$devices" >"$standins/ftd2xx.ini"
  case "$name" in
    error-box-tool-ok|error-box-tool-fails) cp "$build/standins/travolk/TRAVOLK.exe" "$host_folder/" ;;
  esac
  case "$name" in
    node*)
      # Borvanect's user folder, and its network settings naming the node.
      local folder="$WINEPREFIX/drive_c/users/Public/Borvanect"
      mkdir -p "$folder/System/ApplData"
      { head -c 20 /dev/zero; printf '\306\022\000\002'; head -c 104 /dev/zero; } >"$folder/System/ApplData/Pelvaro.bin"
      wine reg add 'HKCU\Software\Quenford\Borvanect\CurrentVersion' /v UserMainFolder /t REG_SZ \
        /d 'C:\users\Public\Borvanect' /f >/dev/null 2>&1
      ;;
  esac
}

# What a technician does next: the "next step:" line zmk-host prints after
# its last result, if any. In the error-box setups that give 2, the tool
# failed or is missing, which the result alone does not say.
next_step() {
  local step
  step=$(awk '/^(ZMK_GetDeviceStatus|ZMK_DriversErrorBox) /{step=""} /^  next step: /{sub(/^  /, ""); step=$0} END{print step}' "$1")
  [ "$2" = "2 IDCANCEL" ] && echo -n "the diagnostic tool failed or is missing, so only the system-error box showed and its OK ended the call; "
  echo "${step:-nothing to do: Borvanect uses this interface}"
}

# The doctor's report, under a heading and the setup's note on it, if any;
# $ZMK_TRY_DOCTOR is the program.
explain() {
  echo "-- zmk-doctor.exe$1:"
  [ -n "$ZMK_TRY_NOTE" ] && echo "$ZMK_TRY_NOTE"
  wine "$ZMK_TRY_DOCTOR" || true
}

# Runs the host (the rest of the arguments), its output also in $1, and with
# --explain the doctor, before the host when $2 is "before".
host_and_doctor() {
  local output=$1 when=$2
  shift 2
  [ -n "$ZMK_TRY_DOCTOR" ] && [ "$when" = before ] &&
    explain ", before the user unplugs anything: the state that brings up the dialog"
  "$@" | tee "$output"
  local status=${PIPESTATUS[0]}
  [ -n "$ZMK_TRY_DOCTOR" ] && [ "$when" = after ] && explain ""
  return "$status"
}
export -f explain host_and_doctor

# Runs zmk-host for the setup and checks the result it prints.
run_setup() {
  local entry=$1 play=$2
  local name orders answers expected
  name=$(field "$entry" 1); orders=$(field "$entry" 3); answers=$(field "$entry" 4); expected=$(field "$entry" 5)
  echo "== $name: $(field "$entry" 2)"
  prepare "$name"
  local host=(wine "C:\\Program Files\\Quenford\\Borvanect\\zmk-host.exe")
  [ "$play" = yes ] && [ -n "$answers" ] && host+=(--answer "$answers")
  host+=(init "$orders" release)
  if [ "$play" = no ] && [ -n "$answers" ]; then
    echo "A dialog will wait for you on the display ($DISPLAY); this setup's answer: $answers."
    echo "To unplug a simulated USB device, delete its device= line from"
    echo "  $WINEPREFIX/drive_c/zmk-standins/ftd2xx.ini"
    echo "before you press Rescan DMX (or run: bash scripts/try.sh --answer $name, to have it played)."
  fi
  export ZMK_TRY_DOCTOR=""
  [ "$explain" = yes ] && ZMK_TRY_DOCTOR=$build/doctor/zmk-doctor.exe
  local when=after
  [[ "$answers" == *unplug* ]] && when=before
  export ZMK_TRY_NOTE=""
  [ "$orders" = errorbox ] && ZMK_TRY_NOTE="(try.sh: this setup plays only the driver-error dialog, which Borvanect shows when its
own use of the D2XX driver fails. The setup has no D2XX driver, on purpose: \"driver missing\" below is the
simulation's, and \"not an error\" is what the detection makes of it, not what the dialog is about.)"
  local output="$session/output.txt" status=0
  export ZMK_TRAVOLK_EXIT_CODE=0
  [ "$name" = error-box-tool-fails ] && ZMK_TRAVOLK_EXIT_CODE=1
  case "$name" in
    node*)
      if [ "$(id -u)" -ne 0 ]; then echo "needs root for the network namespace; skipped"; return 0; fi
      local scenario=""
      [ "$name" = node-silent ] && scenario="reply=none"
      ZMK_WINE_SESSION=$session ZMK_NODE_SCENARIO=$scenario \
        bash "$root/testing/netns/run-with-node.sh" --unix "$build/standins/artnet-node/artnet-node" \
        bash -c 'host_and_doctor "$@"' host_and_doctor "$output" "$when" "${host[@]}" || status=$?
      ;;
    *)
      host_and_doctor "$output" "$when" "${host[@]}" || status=$?
      ;;
  esac
  local got
  got=$(grep -E '^(ZMK_GetDeviceStatus|ZMK_DriversErrorBox) ' "$output" | tail -1 | awk '{print $2, $3}')
  if [ "$status" -eq 0 ] && [ "$got" = "$expected" ]; then
    echo "$name: $got, as the setup promises; $(next_step "$output" "$got")"
  else
    echo "$name: got '${got:-nothing}', the setup promises '$expected'"
    return 1
  fi
}

usage="usage: try.sh --list | [--answer] [--explain] SETUP | [--explain] --all"
play=no
explain=no
[ -z "${DISPLAY:-}" ] && play=yes
case "${1:-}" in
  --list|"") list; exit 0 ;;
esac
while [ $# -gt 0 ]; do
  case "$1" in
    --answer) play=yes; shift ;;
    --explain) explain=yes; shift ;;
    *) break ;;
  esac
done
[ $# -eq 1 ] || { echo "$usage" >&2; exit 2; }
if [ "$1" = --all ]; then
  names=()
  for entry in "${setups[@]}"; do names+=("$(field "$entry" 1)"); done
  play=yes
else
  entry=$(find_setup "$1") || { echo "try.sh: no setup '$1'; try.sh --list shows them" >&2; exit 2; }
  names=("$1")
fi
ensure_built
start_session
failures=0
for name in "${names[@]}"; do
  run_setup "$(find_setup "$name")" "$play" || failures=$((failures + 1))
done
[ "${#names[@]}" -gt 1 ] && echo "try.sh: ${#names[@]} setups, $failures not as promised"
[ "$failures" -eq 0 ]
