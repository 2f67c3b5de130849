#!/bin/bash
# Runs every check: the native unit tests and fuzz targets, the Windows tests
# under Wine, a second clean build that must give byte-identical
# deliverables, and a signed build. Ends with the time each phase took and a
# line "N passed, N failed".
#
# The phases run in two lanes so that both cores stay busy. The Windows lane
# builds, then runs the Wine tests, which mostly wait on timers, dialogs and
# the network. Beside it, at the lowest priority so that it never holds up
# the Windows build nor a Wine test waiting on a timer, the native lane runs
# the layout check, builds and runs the native tests, then (once dist/ is
# built) the reproducibility and signed builds and the release archive: it
# takes what the Windows lane leaves. The pristine Wine prefix is made while
# the Windows build runs.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/install-deps.sh
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 0)}

work=$(mktemp -d /tmp/zmk-test.XXXXXX)
# Each lane in a process group of its own, so that an interrupted run can end
# all that a lane started.
set -m
lanes=()
# Tear down whatever a test left running, whatever happened.
cleanup() {
  for pid in "${lanes[@]}"; do kill -- -"$pid" 2>/dev/null || true; done
  for session in "$root"/build/windows/wine-session*; do
    [ -d "$session" ] && bash testing/wine/wine-session.sh stop "$session" >/dev/null 2>&1 || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

# phase NAME COMMAND...: runs one phase, its output to its own log; records
# its times and exit code.
phase() {
  local name=$1 start rc=0
  shift
  start=$(date +%s.%N)
  "$@" >"$work/$name.log" 2>&1 || rc=$?
  echo "$name $rc $start $(date +%s.%N)" >>"$work/phases"
  return $rc
}

windows_lane() {
  phase windows-build bash scripts/build.sh || { touch "$work/windows-failed"; return 1; }
  touch "$work/windows-built"
  phase windows-tests ctest --preset windows-release
}

native_lane() {
  phase layout bash scripts/check-layout.sh || true
  phase native-build sh -c 'cmake --preset native && cmake --build --preset native' || true
  phase native-tests ctest --preset native || true
  # The second build is compared with dist/, which the Windows lane makes.
  while [ ! -e "$work/windows-built" ] && [ ! -e "$work/windows-failed" ]; do sleep 1; done
  if [ -e "$work/windows-built" ]; then
    ZMK_REPRO_KEEP="$work/repro" phase reproducible bash scripts/check-reproducible.sh || true
    ZMK_SIGNED_FROM="$work/repro" phase signed bash scripts/check-signed.sh || true
    phase release bash scripts/check-release.sh || true
  fi
}

started=$(date +%s.%N)
echo "== phases running in two lanes; their output follows when all have ended"
# The Wine tests' sessions wait (on a lock) for this prefix if it is not ready.
(phase wine-prefix bash testing/wine/wine-session.sh prepare "$root/build/windows/wine-pristine") &
lanes+=($!)
(windows_lane) &
lanes+=($!)
(renice -n 19 "$BASHPID" >/dev/null; native_lane) &
lanes+=($!)
status=0
for pid in "${lanes[@]}"; do wait "$pid" || true; done
lanes=()

passed=0
failed=0
for name in layout wine-prefix native-build native-tests windows-build windows-tests reproducible signed release; do
  line=$(grep "^$name " "$work/phases" 2>/dev/null || true)
  echo
  echo "== $name"
  if [ -z "$line" ]; then
    echo "did not run"; failed=$((failed + 1)); status=1; continue
  fi
  cat "$work/$name.log"
  read -r _ rc _ _ <<<"$line"
  [ "$rc" -eq 0 ] || status=1
  # A ctest run counts its tests; any other phase counts as one check.
  summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$work/$name.log" | tail -1 || true)
  if [ -n "$summary" ]; then
    failures=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$summary")
    total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$summary")
    passed=$((passed + total - failures))
    failed=$((failed + failures))
    # A run that failed without a failing test (a build error) still fails.
    [ "$rc" -eq 0 ] || [ "$failures" -gt 0 ] || failed=$((failed + 1))
  elif [ "$rc" -eq 0 ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
  fi
done

echo
echo "== time per phase, in seconds from the start"
sort -k3 -n "$work/phases" | awk -v t0="$started" -v now="$(date +%s.%N)" '
  BEGIN { printf "%-16s %8s %8s %8s\n", "phase", "began", "ended", "took" }
  { printf "%-16s %8.1f %8.1f %8.1f  %s\n", $1, $3 - t0, $4 - t0, $4 - $3, $2 == 0 ? "ok" : "FAILED (" $2 ")" }
  END { printf "%-16s %8s %8.1f\n", "whole run", "", now - t0 }'

echo
echo "$passed passed, $failed failed"
exit $status
