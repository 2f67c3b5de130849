#!/bin/bash
# wine-session.sh start|stop SESSION_DIR
#
# start: a fresh Wine prefix in SESSION_DIR/prefix, an Xvfb display whose
#        number is written to SESSION_DIR/display, and a persistent wineserver
#        (so tests do not pay Wine's start-up each time).
# stop:  ends the wineserver and every Wine process of the prefix, then Xvfb.
set -u
cmd=${1:?start|stop}
session=${2:?session folder}
here=$(cd "$(dirname "$0")" && pwd)

stop_session() {
  if [ -d "$session/prefix" ]; then
    (. "$here/wine-env.sh" "$session"; timeout 20 wineserver -k >/dev/null 2>&1 || true)
  fi
  if [ -f "$session/xvfb.pid" ]; then
    kill "$(cat "$session/xvfb.pid")" 2>/dev/null || true
    rm -f "$session/xvfb.pid"
  fi
  rm -f "$session/display"
}

case "$cmd" in
start)
  stop_session
  rm -rf "$session"
  mkdir -p "$session"
  # Xvfb picks a free display itself and tells us which.
  exec 3>"$session/display.tmp"
  setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >"$session/xvfb.log" 2>&1 &
  echo $! >"$session/xvfb.pid"
  exec 3>&-
  for _ in $(seq 100); do
    [ -s "$session/display.tmp" ] && break
    sleep 0.1
  done
  if [ ! -s "$session/display.tmp" ]; then
    echo "Xvfb did not start" >&2; cat "$session/xvfb.log" >&2; stop_session; exit 1
  fi
  tr -d '\n' <"$session/display.tmp" >"$session/display"
  rm -f "$session/display.tmp"
  . "$here/wine-env.sh" "$session"
  wineboot -i >"$session/wineboot.log" 2>&1 || { cat "$session/wineboot.log" >&2; stop_session; exit 1; }
  # Let Wine draw window frames itself, so captions show in screenshots.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d Y /f >/dev/null 2>&1
  wineserver -w
  # A persistent server, warmed by one throwaway process.
  setsid wineserver -p >/dev/null 2>&1 </dev/null
  wine cmd /c exit >/dev/null 2>&1 </dev/null
  echo "Wine session ready: prefix $WINEPREFIX, display $DISPLAY"
  ;;
stop)
  stop_session
  echo "Wine session stopped"
  ;;
*)
  echo "usage: $0 start|stop SESSION_DIR" >&2; exit 2 ;;
esac
