#!/bin/bash
# Makes the release archive dist/zelmork-patch-VERSION.zip (VERSION: the
# library's, the project's version in CMakeLists.txt):
#
#   zelmork-patch-VERSION/
#     stelmorivax_x64.exe        the installer, carrying ZELMORK.dll
#     ZELMORK.dll                the library itself, for inspection
#     zmk-doctor.exe             the technician's tool: why this status? (docs/doctor.md)
#     docs/doctor.md
#     CHANGELOG.md               the release notes
#     IT.md                      deploying: the README's section for IT, and whether the programs are signed
#     sdk/include/ZELMORK.h      for host programmers
#     sdk/lib/libZELMORK.dll.a   import library, mingw-w64
#     sdk/lib/ZELMORK.lib        import library, Microsoft's linker
#     sdk/docs/api.md
#     sdk/sample/minimal_host.c
#     SHA256SUMS                 every file above; check with: sha256sum -c SHA256SUMS
#
# Builds first (scripts/build.sh; a signed build when ZMK_SIGN_CERT and
# ZMK_SIGN_KEY are set), unless --no-build says the build is there already.
# The archive is reproducible: files in a fixed order, every time the last
# commit's (SOURCE_DATE_EPOCH), fixed modes.
#   bash scripts/release.sh [--no-build] [OUTPUT_FOLDER]     (default dist/)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 0)}
build_first=yes
if [ "${1:-}" = --no-build ]; then build_first=no; shift; fi
out=$(realpath -m "${1:-$root/dist}")
version=$(sed -n 's/^project(zelmork_patch VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "no project version in CMakeLists.txt" >&2; exit 1; }
name=zelmork-patch-$version
build=$root/build/windows

[ "$build_first" = yes ] && bash scripts/build.sh >/dev/null
stage=$(mktemp -d /tmp/zmk-release.XXXXXX)
trap 'rm -rf "$stage"' EXIT
top="$stage/$name"
mkdir -p "$top/sdk/include" "$top/sdk/lib" "$top/sdk/docs" "$top/sdk/sample" "$top/docs"
cp dist/stelmorivax_x64.exe dist/ZELMORK.dll dist/zmk-doctor.exe CHANGELOG.md "$top/"
cp docs/doctor.md "$top/docs/"
cp library/include/ZELMORK.h "$top/sdk/include/"
cp "$build/library/sdk/libZELMORK.dll.a" "$build/library/sdk/ZELMORK.lib" "$top/sdk/lib/"
cp docs/api.md "$top/sdk/docs/"
cp library/sdk/minimal_host.c "$top/sdk/sample/"
# Whether the programs carry a signature, read from the programs themselves:
# the size of their certificate table (the fifth data directory of a PE32+).
signature=$(/usr/bin/python3 - dist/stelmorivax_x64.exe dist/ZELMORK.dll dist/zmk-doctor.exe <<'PY'
import struct, sys
def signed(path):
    data = open(path, "rb").read()
    optional_header = struct.unpack_from("<I", data, 0x3C)[0] + 24
    return struct.unpack_from("<I", data, optional_header + 112 + 4 * 8 + 4)[0] > 0
states = [signed(path) for path in sys.argv[1:]]
print("all" if all(states) else "none" if not any(states) else "some")
PY
)
signer=
if [ "$signature" = all ] && [ -n "${ZMK_SIGN_CERT:-}" ]; then
  signer=" by $(openssl x509 -noout -subject -in "$ZMK_SIGN_CERT" | sed 's/^subject= *//')"
fi
{
  echo "# Deploying the ZELMORK patch $version"
  awk '/^## For IT: deploying the patch$/ {on = 1; next} on && /^#/ {exit} on' README.md
  echo "## Signing"
  echo
  case $signature in
  all) echo "The programs in this archive (stelmorivax_x64.exe, the ZELMORK.dll inside it and beside it, zmk-doctor.exe)
carry an Authenticode signature$signer. Windows names their publisher at the elevation prompt and in a
program's Properties, under Digital Signatures." ;;
  none) echo "The programs in this archive are not signed: Windows shows \"Unknown publisher\" when the installer asks for
elevation. Check the files against SHA256SUMS, which lists every file's SHA-256 digest." ;;
  *) echo "Only some of the programs in this archive are signed: ask for a release whose programs all are." ;;
  esac
} >"$top/IT.md"
(cd "$top" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | LC_ALL=C sort | xargs sha256sum >SHA256SUMS)

mkdir -p "$out"
/usr/bin/python3 - "$stage" "$name" "$out/$name.zip" <<'PY'
import os, sys, time, zipfile
stage, name, archive = sys.argv[1:]
# Zip holds local times from 1980 on; the commit's time, in UTC, for every entry.
when = time.gmtime(max(int(os.environ["SOURCE_DATE_EPOCH"]), 315532800))[:6]
paths = []
for folder, dirs, files in os.walk(os.path.join(stage, name)):
    dirs.sort()
    paths += [os.path.join(folder, f) for f in files]
with zipfile.ZipFile(archive + ".part", "w") as zip_file:
    for path in sorted(paths, key=lambda p: os.path.relpath(p, stage)):
        entry = zipfile.ZipInfo(os.path.relpath(path, stage), when)
        entry.compress_type = zipfile.ZIP_DEFLATED
        entry.create_system = 3  # Unix, so that the modes below hold
        executable = path.endswith((".exe", ".dll"))
        entry.external_attr = (0o100755 if executable else 0o100644) << 16
        with open(path, "rb") as f:
            zip_file.writestr(entry, f.read(), compresslevel=9)
os.replace(archive + ".part", archive)
PY
echo "$out/$name.zip $(stat -c %s "$out/$name.zip") bytes, sha256 $(sha256sum <"$out/$name.zip" | cut -c1-16)"
if [ "$signature" = all ]; then
  echo "signed: the deliverables carry an Authenticode signature$signer"
else
  echo "warning: unsigned: set ZMK_SIGN_CERT and ZMK_SIGN_KEY to sign the deliverables" >&2
fi
