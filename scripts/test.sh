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

echo "== native build and tests"
cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native -j2 || status=1

echo "== Windows build and tests under Wine"
bash scripts/build.sh
ctest --preset windows-release || status=1

echo "== reproducibility: a second clean build elsewhere"
bash scripts/check-reproducible.sh || status=1

echo "== signing: a signed build with a throwaway certificate"
bash scripts/check-signed.sh || status=1

exit $status
