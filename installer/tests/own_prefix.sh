# Sourced by the tests that need a Wine prefix of their own. Arguments of the
# test: INSTALLER DRIVER LIBRARY FIXTURE_DIR. Uses the session's display.
# Every test sets `cleanup_steps` and calls own_prefix_cleanup from its trap.
set -u
installer=${1:?installer} driver=${2:?driver} library=${3:?library} fixtures=${4:?fixtures}
display=":$(cat "${ZMK_WINE_SESSION:?}/display")"
work=$(mktemp -d /tmp/zmk-installer.XXXXXX)
chmod 755 "$work"
as_user=()   # prefix for running Wine as another user, empty for root
failures=0

# Runs a Wine command in the test's own prefix.
own_wine() {
  "${as_user[@]}" env HOME="$work/home" WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all \
    WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" DISPLAY="$display" "$@"
}

make_own_prefix() {
  mkdir -p "$work/home" "$work/prefix"
  if [ ${#as_user[@]} -gt 0 ]; then chown nobody:nogroup "$work/home" "$work/prefix"; fi
  own_wine wineboot -i >"$work/wineboot.log" 2>&1 || { cat "$work/wineboot.log" >&2; return 1; }
  own_wine wineserver -w
}

own_prefix_cleanup() {
  if [ -d "$work/prefix" ]; then own_wine timeout 20 wineserver -k >/dev/null 2>&1 || true; fi
  for step in "${cleanup_steps[@]}"; do eval "$step" || true; done
  rm -rf "$work"
}

# expect_run NAME EXIT TEXT... : one installer run answered OK throughout.
expect_run() {
  local name=$1 exit_code=$2; shift 2
  local texts=()
  for t in "$@"; do texts+=(--expect-text "$t"); done
  if own_wine wine "$work/bin/$(basename "$driver")" --installer "$work/bin/$(basename "$installer")" \
       --answer ok,ok --print --expect-exit "$exit_code" "${texts[@]}"; then
    echo "ok: $name"
  else
    echo "FAILED: $name"; failures=$((failures + 1))
  fi
}

# expect_same NAME A B : two files with the same bytes.
expect_same() {
  if cmp -s "$2" "$3"; then echo "ok: $1"; else echo "FAILED: $1 ($2 differs from $3)"; failures=$((failures + 1)); fi
}

# expect_only_library NAME FOLDER : the folder holds ZELMORK.dll and nothing else.
expect_only_library() {
  local left
  left=$(ls -A "$2" | tr '\n' ' ')
  if [ "$left" = "ZELMORK.dll " ]; then echo "ok: $1"; else echo "FAILED: $1 (folder holds: $left)"; failures=$((failures + 1)); fi
}

# The binaries, copied where any user can read them.
mkdir -p "$work/bin"
cp "$installer" "$driver" "$library" "$fixtures/fixture_old_release.dll" "$work/bin/"
chmod -R a+rX "$work/bin"
fixture="$work/bin/fixture_old_release.dll"
