# Sourced by the tests that need a Wine prefix of their own. Arguments of the
# test: INSTALLER DRIVER LIBRARY FIXTURE_DIR. The prefix is a copy of the
# session's pristine one, shown on an Xvfb display of the test's own, so the
# test can run beside those that use the session's desktop.
# Every test sets `cleanup_steps` and calls own_prefix_cleanup from its trap.
set -u
installer=${1:?installer} driver=${2:?driver} library=${3:?library} fixtures=${4:?fixtures}
work=$(mktemp -d /tmp/zmk-installer.XXXXXX)
chmod 755 "$work"
xvfb_pid=
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
display=":$(tr -d '\n' <"$work/display")"
as_user=()   # prefix for running Wine as another user, empty for root
failures=0

# Runs a Wine command in the test's own prefix.
own_wine() {
  "${as_user[@]}" env HOME="$work/home" WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all \
    WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d" DISPLAY="$display" "$@"
}

make_own_prefix() {
  mkdir -p "$work/home"
  local pristine=${ZMK_WINE_PRISTINE:-$(dirname "${ZMK_WINE_SESSION:?}")/wine-pristine}
  cp -a "$pristine/prefix" "$work/prefix" || return 1
  if [ ${#as_user[@]} -gt 0 ]; then chown -R nobody:nogroup "$work/home" "$work/prefix"; fi
  # Wine brings the copy up to date for this user (its profile folders).
  own_wine wineboot >"$work/wineboot.log" 2>&1 || { cat "$work/wineboot.log" >&2; return 1; }
  own_wine wineserver -w
}

own_prefix_cleanup() {
  if [ -d "$work/prefix" ]; then own_wine timeout 20 wineserver -k >/dev/null 2>&1 || true; fi
  for step in "${cleanup_steps[@]}"; do eval "$step" || true; done
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}

# expect_run NAME EXIT TEXT... : one installer run answered OK throughout.
# A run in which no box came up at all is Wine's desktop not yet up for the
# prefix's new user (seen once on a loaded machine: the installer's boxes
# failed and it went on without them, as it does on Windows); it is run once
# more, and said.
expect_run() {
  local name=$1 exit_code=$2; shift 2
  local texts=() output attempt
  for t in "$@"; do texts+=(--expect-text "$t"); done
  for attempt in 1 2; do
    if output=$(own_wine wine "$work/bin/$(basename "$driver")" --installer "$work/bin/$(basename "$installer")" \
         --answer ok,ok --print --expect-exit "$exit_code" "${texts[@]}" 2>&1); then
      echo "$output"; echo "ok: $name"; return
    fi
    echo "$output"
    grep -q "box 1:" <<<"$output" && break
    [ "$attempt" -eq 1 ] && echo "note: no box came up in that run; running it again"
  done
  echo "FAILED: $name"; failures=$((failures + 1))
}

# expect_run_without_display NAME EXIT : one installer run with no display,
# where no box can be shown at all.
expect_run_without_display() {
  local exit_code=0
  own_wine env -u DISPLAY timeout 60 wine "$work/bin/$(basename "$installer")" >"$work/no-display.log" 2>&1 \
    || exit_code=$?
  # Wine's desktop, started by that run without a display, is broken for
  # every later run of this server: the server goes with it.
  own_wine wineserver -k
  if [ "$exit_code" -eq "$2" ]; then
    echo "ok: $1 (exit code $exit_code)"
  else
    cat "$work/no-display.log"; echo "FAILED: $1 (exit code $exit_code, expected $2)"; failures=$((failures + 1))
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
