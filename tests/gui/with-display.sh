#!/usr/bin/env bash
# Runs a command on an Xvfb display of its own, with or without a window
# manager:
#
#   with-display.sh [--openbox] [--screen WxH] [--] COMMAND [ARGS...]
#
# The display is 1280x800 unless --screen says otherwise; --openbox starts
# openbox, Debian's, with its default configuration, and waits until it has
# taken the screen (it announces itself through _NET_SUPPORTING_WM_CHECK).
# The command gets DISPLAY and QT_QPA_PLATFORM=xcb; everything started here
# stops when it ends.
set -euo pipefail

window_manager=false
screen=1280x800
while [[ $# -gt 0 ]]; do
  case "$1" in
    --openbox) window_manager=true; shift ;;
    --screen) screen=${2:?--screen needs WxH}; shift 2 ;;
    --) shift; break ;;
    *) break ;;
  esac
done
[[ $# -gt 0 ]] || { echo "with-display.sh: no command" >&2; exit 2; }

work=$(mktemp -d)
xvfb_pid= wm_pid=
cleanup() {
  [[ -n "$wm_pid" ]] && kill "$wm_pid" 2>/dev/null && wait "$wm_pid" 2>/dev/null
  [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 "${screen}x24" -nolisten tcp 3>"$work/display" \
  </dev/null >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for ((tries = 0; tries < 200; ++tries)); do
  grep -Eq '^[0-9]+$' "$work/display" 2>/dev/null && break
  kill -0 "$xvfb_pid" 2>/dev/null || break
  sleep 0.05
done
grep -Eq '^[0-9]+$' "$work/display" 2>/dev/null || {
  cat "$work/xvfb.log" >&2
  echo "with-display.sh: Xvfb did not start" >&2
  exit 1
}
export DISPLAY=":$(cat "$work/display")" QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY

if $window_manager; then
  # A configuration of its own folder, so that no user's settings apply.
  HOME="$work" XDG_CONFIG_HOME="$work/config" openbox --sm-disable \
    </dev/null >"$work/openbox.log" 2>&1 &
  wm_pid=$!
  for ((tries = 0; tries < 200; ++tries)); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    kill -0 "$wm_pid" 2>/dev/null || break
    sleep 0.05
  done
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' || {
    cat "$work/openbox.log" >&2
    echo "with-display.sh: openbox did not start" >&2
    exit 1
  }
fi

status=0
"$@" || status=$?
exit "$status"
