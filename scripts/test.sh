#!/bin/bash
# Runs every test: the native unit tests and fuzz targets, the Windows tests
# under Wine, and a second clean build that must give byte-identical
# deliverables, and a signed build in a folder of its own.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/install-deps.sh

# Tear down whatever a test left running, whatever happened.
cleanup() { bash testing/wine/wine-session.sh stop "$root/build/windows/wine-session" >/dev/null 2>&1 || true; }
trap cleanup EXIT

status=0
passed=0
failed=0
log=$(mktemp)
# Runs one check; a ctest run counts its tests, any other check counts as one.
check() {
  local rc=0
  "$@" 2>&1 | tee "$log" || rc=$?
  local summary
  summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1 || true)
  if [ -n "$summary" ]; then
    local total failures
    failures=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$summary")
    total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$summary")
    passed=$((passed + total - failures))
    failed=$((failed + failures))
  elif [ $rc -eq 0 ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
  fi
  [ $rc -eq 0 ] || status=1
}

echo "== native build and tests"
cmake --preset native >/dev/null
cmake --build --preset native
check ctest --preset native -j2

echo "== Windows build and tests under Wine"
bash scripts/build.sh
check ctest --preset windows-release

echo "== reproducibility: a second clean build elsewhere"
check bash scripts/check-reproducible.sh

echo "== signing: a signed build with a throwaway certificate"
check bash scripts/check-signed.sh

rm -f "$log"
echo
echo "$passed passed, $failed failed"
exit $status
