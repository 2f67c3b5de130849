#!/bin/bash
# Makes the release archive twice, in two folders, and checks that the two are
# byte for byte the same, that it holds what it should, that its SHA256SUMS
# verifies every file in it, and that the sample builds in the unpacked
# archive by the line its comment gives. Run by scripts/test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d /tmp/zmk-release-check.XXXXXX)
trap 'rm -rf "$work"' EXIT
bash scripts/release.sh --no-build "$work/first" >/dev/null
sleep 1
bash scripts/release.sh --no-build "$work/second" >/dev/null
name=$(basename "$(ls "$work/first"/zelmork-patch-*.zip)" .zip)
failures=0
check() {
  local what=$1; shift
  if "$@" >"$work/out.txt" 2>&1; then echo "ok: $what"; else echo "FAILED: $what"; cat "$work/out.txt"; failures=$((failures + 1)); fi
}
check "two runs give the same archive" cmp "$work/first/$name.zip" "$work/second/$name.zip"
mkdir "$work/unpacked"
/usr/bin/python3 -m zipfile -e "$work/first/$name.zip" "$work/unpacked"
check "SHA256SUMS verifies every file" sh -c "cd '$work/unpacked/$name' && sha256sum --strict -c SHA256SUMS"
expected="CHANGELOG.md IT.md SHA256SUMS ZELMORK.dll docs/doctor.md sdk/docs/api.md sdk/include/ZELMORK.h sdk/lib/ZELMORK.lib sdk/lib/libZELMORK.dll.a sdk/sample/minimal_host.c stelmorivax_x64.exe zmk-doctor.exe"
listed=$(cd "$work/unpacked/$name" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//')
check "the archive holds the deliverables, the SDK and the notes" test "$listed" = "$expected"
check "the SHA256SUMS lists every other file" test "$(wc -l <"$work/unpacked/$name/SHA256SUMS")" -eq 11
it="$work/unpacked/$name/IT.md"
check "IT.md tells the target, the exit codes, to close Borvanect and what --patch does" sh -c "
  grep -qF 'C:\\Program Files\\Quenford\\Borvanect\\ZELMORK.dll' '$it' && grep -q '^| 2 | the user cancelled' '$it' &&
  grep -q 'Close Borvanect before patching' '$it' && grep -q 'zmk-doctor.exe --patch' '$it'"
check "IT.md says whether the programs are signed" grep -q "^The programs in this archive .*signed\|^carry an Authenticode signature" "$it"
check "the deliverables in it are dist/'s" sh -c "cmp dist/ZELMORK.dll '$work/unpacked/$name/ZELMORK.dll' && cmp dist/stelmorivax_x64.exe '$work/unpacked/$name/stelmorivax_x64.exe' &&
  cmp dist/zmk-doctor.exe '$work/unpacked/$name/zmk-doctor.exe'"
for export in ZMK_Initialize ZMK_Release ZMK_GetDeviceStatus ZMK_DriversErrorBox; do
  check "both import libraries import $export" sh -c "llvm-nm-14 '$work/unpacked/$name/sdk/lib/ZELMORK.lib' | grep -q ' __imp_$export\$' &&
    x86_64-w64-mingw32-nm '$work/unpacked/$name/sdk/lib/libZELMORK.dll.a' | grep -q ' __imp_$export\$'"
done
# The sample builds in the unpacked release exactly as its own comment says,
# against the header and import library beside it.
sdk="$work/unpacked/$name/sdk"
build_line=$(sed -n 's/^ \*   \(x86_64-w64-mingw32-gcc .*\)$/\1/p' "$sdk/sample/minimal_host.c")
check "the sample's comment gives one build line" test "$(wc -l <<<"$build_line")" -eq 1 -a -n "$build_line"
check "the sample builds in the release's sdk folder as its comment says" sh -c "cd '$sdk' && $build_line"
check "the built sample imports ZELMORK.dll" sh -c "/usr/bin/python3 tools/pe/pe_tool.py imports '$sdk/minimal_host.exe' | grep -qx ZELMORK.dll"
echo "archive: $(stat -c %s "$work/first/$name.zip") bytes"
echo "$failures failed"
[ "$failures" -eq 0 ]
