#!/bin/bash
# A D2XX driver that counts one device, then writes far more records into the
# library's room than it counted, as a driver does whose list another caller
# in the host refreshed meanwhile: the host (zmk-host.exe, the real library
# beside it) gets DriverError (1) and lives on, its heap intact. Past the
# room's margin the driver faults at the first byte after the room, inside
# its own call, and nothing beyond the room is written.
#   driver_past_its_room.sh ZMK_HOST_EXE FTD2XX_STANDIN_DLL
set -u
host=$1 standin=$2
. "$ZMK_SOURCE_DIR/testing/wine/wine-env.sh" "$ZMK_WINE_SESSION"
system32="$WINEPREFIX/drive_c/windows/system32"
ini="$WINEPREFIX/drive_c/zmk-standins/ftd2xx.ini"
mkdir -p "$(dirname "$ini")"
cp "$standin" "$system32/ftd2xx.dll"
trap 'rm -f "$system32/ftd2xx.dll" "$ini" "$ini.list"' EXIT
failures=0

# Runs the host once with the driver writing $1 records; its output and exit code in $out and $code.
run_host() {
  printf 'device=5 DMX USB PRO\ndescribe=%d\n' "$1" >"$ini"
  code=0
  out=$(timeout 60 wine "$host" --no-window status 2>&1) || code=$?
}

for records in 129 200 1000 20000; do
  run_host "$records"
  if [ "$code" -eq 0 ] && grep -Eq '^ZMK_GetDeviceStatus +1 DriverError ' <<<"$out"; then
    echo "ok: $records records for one counted: DriverError, the host lives on"
  else
    echo "FAILED: $records records for one counted: exit code $code"
    echo "$out"
    failures=$((failures + 1))
  fi
done

# Wine names the address of the fault; the stand-in left the address of the
# room it was given. The fault must be at a record boundary past the 20000
# records that fit: the first byte after the room, nothing beyond it written.
run_host 40000
fault=$(grep -Eo 'page fault on write access to [0-9a-fA-F]+' <<<"$out" | grep -Eo '[0-9a-fA-F]+$')
room=$(cat "$ini.list" 2>/dev/null)
if [ "$code" -ne 0 ] && [ -n "$fault" ] && [ -n "$room" ] &&
   (( (0x$fault - 0x$room) % 104 == 0 && (0x$fault - 0x$room) / 104 >= 20000 )); then
  echo "ok: 40000 records: the driver faults right after the room's $(( (0x$fault - 0x$room) / 104 )) records"
else
  echo "FAILED: 40000 records: exit code $code, fault at ${fault:-none}, room at ${room:-unknown}"
  echo "$out"
  failures=$((failures + 1))
fi

echo "$failures failed"
[ "$failures" -eq 0 ]
