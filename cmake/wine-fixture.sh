#!/usr/bin/env bash
# Prepares and removes what the Windows tests run in: a virtual X display on
# a free display number and a fresh Wine prefix inside the build tree.
#   wine-fixture.sh setup|cleanup STATE_DIR
set -eu
action=$1
export Q7_WINE_STATE=$2
here=$(cd "$(dirname "$0")" && pwd)

# A drive that is full after 64 KiB, for the scenarios of a full disk:
# a small tmpfs at $Q7_WINE_STATE/full where this user may mount one (root);
# elsewhere those scenarios say they are skipped.
full=$Q7_WINE_STATE/full

stop_all() {
  if mountpoint -q "$full" 2>/dev/null; then umount "$full" || true; fi
  if [ -d "$Q7_WINE_STATE/prefix" ]; then
    . "$here/wine-env.sh"
    "$Q7_WINESERVER" -k >/dev/null 2>&1 || true
  fi
  if [ -s "$Q7_WINE_STATE/xvfb.pid" ]; then
    kill "$(cat "$Q7_WINE_STATE/xvfb.pid")" 2>/dev/null || true
    rm -f "$Q7_WINE_STATE/xvfb.pid"
  fi
}

case "$action" in
setup)
  stop_all
  rm -rf "$Q7_WINE_STATE"
  mkdir -p "$Q7_WINE_STATE"
  # -displayfd lets the server pick a free display number and tell us which.
  setsid Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 \
    3>"$Q7_WINE_STATE/display" </dev/null >"$Q7_WINE_STATE/xvfb.log" 2>&1 &
  echo $! >"$Q7_WINE_STATE/xvfb.pid"
  for _ in $(seq 100); do
    [ -s "$Q7_WINE_STATE/display" ] && break
    sleep 0.1
  done
  if [ ! -s "$Q7_WINE_STATE/display" ]; then
    echo "wine-fixture: Xvfb did not start:" >&2
    cat "$Q7_WINE_STATE/xvfb.log" >&2
    exit 1
  fi
  mkdir -p "$full"
  if [ "$(id -u)" = 0 ]; then mount -t tmpfs -o size=64k,mode=0777 q7full "$full" 2>/dev/null || true; fi
  . "$here/wine-env.sh"
  start=$(date +%s)
  # The wineserver quits three seconds after the last Wine process, and a
  # program started while it quits can fail to start. The scenarios' timing
  # (the progress page's) is set for servers that come and go, so the run
  # keeps them, and reg add, which may start just then, is tried again.
  failed() {
    echo "wine-fixture: $1 failed:" >&2
    tail -n 20 "$Q7_WINE_STATE/wineboot.log" >&2
    exit 1
  }
  "$Q7_WINE" wineboot --init </dev/null >"$Q7_WINE_STATE/wineboot.log" 2>&1 || failed "wineboot --init"
  # Without a window manager, Wine waits for one each time a window is hidden
  # unless it manages its windows itself.
  for try in 1 2 3; do
    "$Q7_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
      </dev/null >>"$Q7_WINE_STATE/wineboot.log" 2>&1 && break
    [ "$try" = 3 ] && failed "reg add"
    sleep 1
  done
  echo "wine-fixture: display $DISPLAY, prefix ready in $(( $(date +%s) - start )) s"
  ;;
cleanup)
  stop_all
  ;;
*)
  echo "usage: wine-fixture.sh setup|cleanup STATE_DIR" >&2
  exit 2
  ;;
esac
