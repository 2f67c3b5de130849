#!/bin/bash
# wine-session.sh start|stop SESSION_DIR [KEEPER]
# wine-session.sh prepare PRISTINE_DIR
# wine-session.sh run SESSION_DIR COMMAND [ARGS...]
# wine-session.sh in SESSION_DIR COMMAND [ARGS...]
#
# run:   starts the session, runs the command with ZMK_WINE_SESSION set to it,
#        and stops the session however the command ends; its exit code is the
#        command's. For benchmarks and scripts.
# in:    runs one command in a started session: its prefix and display, as
#        its user; the exit code is the command's.
# prepare: only makes (or checks) the pristine prefix in PRISTINE_DIR, so that
#        it can be made while something else runs.
# start: a Wine session in SESSION_DIR: a fresh prefix (a copy of the pristine
#        one kept in $ZMK_WINE_PRISTINE, by default wine-pristine beside
#        SESSION_DIR; it is made there first when missing or out of date), an
#        Xvfb display whose number is written to SESSION_DIR/display, and a
#        persistent wineserver, so tests do not pay Wine's start-up each time.
#        As root, the wineserver runs in a network namespace of the session's
#        own (named in SESSION_DIR/netns): Wine's sockets are made by its
#        server, so each session has a UDP port 6454 of its own and sessions
#        run side by side. With ZMK_SESSION_DISPLAY set (":0"), the session
#        shows on that display instead of an Xvfb of its own. KEEPER (by default testing/wine/desktop-keeper.exe
#        of the build holding SESSION_DIR, when built) holds Wine's desktop
#        process open for the whole session, its output going to
#        SESSION_DIR/desktop.log rather than any test's pipe.
#        With ZMK_SESSION_USER naming a user, the prefix is that user's and
#        every Wine process of the session runs as them, with a home of their
#        own in SESSION_DIR/home: Wine as root ignores file modes, so a test
#        of a read-only file or folder needs another user.
# stop:  ends the wineserver and every Wine process of the prefix, then Xvfb,
#        then the namespace.
set -u
cmd=${1:?start|stop}
session=${2:?session folder}
keeper=${3:-$session/../testing/wine/desktop-keeper.exe}
here=$(cd "$(dirname "$0")" && pwd)
pristine=${ZMK_WINE_PRISTINE:-$(dirname "$session")/wine-pristine}
netns="zmk-wine-$(echo -n "$session" | sha256sum | cut -c1-10)"

# The command prefix that runs a program as the session's user (empty for
# the user who started it), from SESSION_DIR/user.
as_user=()
session_user() {
  as_user=()
  local user
  user=$(cat "$session/user" 2>/dev/null) || return 0
  as_user=(setpriv --reuid="$user" --regid="$(id -g "$user")" --clear-groups env HOME="$session/home")
}

session_desktop_runs() {
  local pid
  for pid in $(pgrep -f 'explorer.exe /desktop'); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && return 0
  done
  return 1
}

stop_session() {
  if [ -d "$session/prefix" ]; then
    session_user
    (. "$here/wine-env.sh" "$session"; "${as_user[@]}" timeout 20 wineserver -k >/dev/null 2>&1 || true)
  fi
  if [ -f "$session/xvfb.pid" ]; then
    kill "$(cat "$session/xvfb.pid")" 2>/dev/null || true
    rm -f "$session/xvfb.pid"
  fi
  rm -f "$session/display"
  ip netns del "$netns" 2>/dev/null || true
}

# The prefix as wineboot makes it, with the settings every session wants,
# kept for copying. Sessions starting together make it once.
make_pristine() {
  local stamp
  # Made again when Wine or this function changes.
  stamp="$(wine --version) $(declare -f make_pristine | sha256sum | cut -c1-16)"
  mkdir -p "$(dirname "$pristine")"
  exec 4>"$pristine.lock"
  flock 4
  if [ "$(cat "$pristine/stamp" 2>/dev/null)" != "$stamp" ]; then
    rm -rf "$pristine"
    mkdir -p "$pristine"
    local make_dir
    make_dir=$(mktemp -d "$pristine/make.XXXXXX")
    (
      export WINEPREFIX="$make_dir/prefix"
      wineboot -i >"$pristine.log" 2>&1 || exit 1
      # Let Wine draw window frames itself, so captions show in screenshots.
      wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
      wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d Y /f >/dev/null 2>&1
      wineserver -w
    ) || { cat "$pristine.log" >&2; exec 4>&-; return 1; }
    mv "$make_dir/prefix" "$pristine/prefix"
    rm -rf "$make_dir"
    # Debian's Wine notes the running server's folder in the prefix: not for a copy.
    rm -f "$pristine/prefix/wineserver"
    echo "$stamp" >"$pristine/stamp"
  fi
  exec 4>&-
}

# The session's display in SESSION_DIR/display.tmp: an Xvfb of its own, which
# picks a free display itself and tells us which, or ZMK_SESSION_DISPLAY.
start_display() {
  if [ -n "${ZMK_SESSION_DISPLAY:-}" ]; then
    echo "${ZMK_SESSION_DISPLAY#:}" >"$session/display.tmp"
    return 0
  fi
  exec 3>"$session/display.tmp"
  setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >"$session/xvfb.log" 2>&1 &
  echo $! >"$session/xvfb.pid"
  exec 3>&-
  for _ in $(seq 100); do
    [ -s "$session/display.tmp" ] && return 0
    sleep 0.1
  done
  echo "Xvfb did not start" >&2
  cat "$session/xvfb.log" >&2
  return 1
}

case "$cmd" in
in)
  shift 2
  session_user
  . "$here/wine-env.sh" "$session"
  exec "${as_user[@]}" "$@"
  ;;
run)
  shift 2
  trap 'bash "$here/wine-session.sh" stop "$session" >/dev/null 2>&1' EXIT
  bash "$here/wine-session.sh" start "$session" >/dev/null || exit 1
  status=0
  ZMK_WINE_SESSION=$session "$@" || status=$?
  exit "$status"
  ;;
prepare)
  pristine=$(realpath -m "$session")
  . "$here/wine-env.sh" "$pristine"
  make_pristine
  ;;
start)
  stop_session
  rm -rf "$session"
  mkdir -p "$session"
  start_display || { stop_session; exit 1; }
  tr -d '\n' <"$session/display.tmp" >"$session/display"
  rm -f "$session/display.tmp"
  . "$here/wine-env.sh" "$session"
  make_pristine || { stop_session; exit 1; }
  cp -a "$pristine/prefix" "$WINEPREFIX"
  if [ -n "${ZMK_SESSION_USER:-}" ]; then
    mkdir -p "$session/home"
    chown -R "$ZMK_SESSION_USER:$(id -g "$ZMK_SESSION_USER")" "$session/home" "$WINEPREFIX"
    echo "$ZMK_SESSION_USER" >"$session/user"
  fi
  session_user
  # A copied prefix wants one boot (services, devices, and the profile of a
  # user other than the one who made it) before its first use.
  "${as_user[@]}" wineboot >"$session/wineboot.log" 2>&1 || { cat "$session/wineboot.log" >&2; stop_session; exit 1; }
  "${as_user[@]}" wineserver -w
  in_netns=()
  if ip netns add "$netns" 2>/dev/null; then
    ip -n "$netns" link set lo up
    echo "$netns" >"$session/netns"
    in_netns=(ip netns exec "$netns")
  fi
  # A persistent server, warmed by one throwaway process.
  "${in_netns[@]}" "${as_user[@]}" setsid wineserver -p >/dev/null 2>&1 </dev/null
  "${in_netns[@]}" "${as_user[@]}" wine cmd /c exit >/dev/null 2>&1 </dev/null
  if [ -f "$keeper" ]; then
    "${as_user[@]}" setsid wine "$keeper" >"$session/desktop.log" 2>&1 </dev/null &
    # Ready once this session's desktop process runs: other sessions have
    # theirs, and a test that started before this one would start it itself,
    # with the test's output pipe, and keep the test runner waiting for it.
    for _ in $(seq 100); do
      session_desktop_runs && break
      sleep 0.1
    done
  fi
  echo "Wine session ready: prefix $WINEPREFIX, display $DISPLAY${in_netns:+, network namespace $netns}"
  ;;
stop)
  stop_session
  echo "Wine session stopped"
  ;;
*)
  echo "usage: $0 start|stop SESSION_DIR [KEEPER] | prepare PRISTINE_DIR | run|in SESSION_DIR COMMAND..." >&2; exit 2 ;;
esac
