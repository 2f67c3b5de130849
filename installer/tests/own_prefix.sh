# Sourced by the tests that need a Wine prefix of their own. Arguments of the
# test: INSTALLER DRIVER LIBRARY FIXTURE_DIR. The prefix is a Wine session of
# the test's own (testing/wine/wine-session.sh: a copy of the pristine
# prefix, its own Xvfb display, server and desktop), so the test can run
# beside those that use the build's sessions. A test that sets session_user
# before make_own_prefix runs Wine as that user.
# Every test sets `cleanup_steps` and calls own_prefix_cleanup from its trap.
set -u
installer=${1:?installer} driver=${2:?driver} library=${3:?library} fixtures=${4:?fixtures}
wine_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../testing/wine" && pwd)
build=$(dirname "${ZMK_WINE_SESSION:?}")
work=$(mktemp -d /tmp/zmk-installer.XXXXXX)
chmod 755 "$work"
session="$work/session"
prefix="$session/prefix"
session_user=   # the user Wine runs as, empty for the one running the test
failures=0

# Runs a command in the test's own Wine session, as its user.
own_wine() {
  bash "$wine_dir/wine-session.sh" in "$session" "$@"
}

make_own_prefix() {
  ZMK_SESSION_USER=$session_user ZMK_WINE_PRISTINE=${ZMK_WINE_PRISTINE:-$build/wine-pristine} \
    bash "$wine_dir/wine-session.sh" start "$session" "$build/testing/wine/desktop-keeper.exe" >"$work/session.log"
}

own_prefix_cleanup() {
  bash "$wine_dir/wine-session.sh" stop "$session" >/dev/null 2>&1 || true
  for step in "${cleanup_steps[@]}"; do eval "$step" || true; done
  rm -rf "$work"
}

# expect_run NAME EXIT TEXT... : one installer run answered OK throughout.
# The session's desktop is up before the first run; should a run still show
# no box at all, the installer could not ask for its confirmation, and then
# it changes nothing and ends with 1: the failure says so.
expect_run() {
  local name=$1 exit_code=$2; shift 2
  local texts=() output
  for t in "$@"; do texts+=(--expect-text "$t"); done
  if output=$(own_wine wine "$work/bin/$(basename "$driver")" --installer "$work/bin/$(basename "$installer")" \
       --answer ok,ok --print --expect-exit "$exit_code" "${texts[@]}" 2>&1); then
    echo "$output"; echo "ok: $name"
  else
    echo "$output"
    grep -q "box 1:" <<<"$output" || echo "(no box came up: the installer could not show its confirmation)"
    echo "FAILED: $name"; failures=$((failures + 1))
  fi
}

# expect_run_without_display NAME EXIT : one installer run with no display,
# where no box can be shown at all.
expect_run_without_display() {
  local exit_code=0
  own_wine env -u DISPLAY timeout 60 wine "$work/bin/$(basename "$installer")" >"$work/no-display.log" 2>&1 \
    || exit_code=$?
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
