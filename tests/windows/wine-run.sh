#!/usr/bin/env bash
# Runs the Windows test executables under Wine, the way ctest calls it:
#
#   wine-run.sh --set-up      make the Wine prefix $WINEPREFIX (once per build
#                             folder) and start the Xvfb of this test run
#   wine-run.sh --shut-down   stop the prefix's wineserver, then the Xvfb
#   wine-run.sh [--display] [--servers NATIVE_BUILD_DIR] [--] PROGRAM.exe [ARGS...]
#
# Every program runs with LC_ALL=zh_CN.UTF-8, which makes Wine's ANSI code
# page 936 (GetACP), the code page of the machines the tool is made for.
#   --display  gives the program the run's Xvfb display for its windows;
#              without it the program has no display at all.
#   --servers  starts the loopback test servers and their tinyproxy forward
#              proxy (lorvane-test-server --proxy from the native build), hands
#              their ports to the program as LORVANE_TEST_SERVERS="http=P
#              https=P proxy=P", and stops them when the program ends.
#
# One Xvfb serves the whole run rather than one per program: Wine's desktop
# process, which outlives each program, keeps its connection to the display.
set -euo pipefail

: "${WINEPREFIX:?WINEPREFIX must name the Wine prefix}"
export WINEPREFIX WINEARCH=win64
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko install dialogs, no desktop menu entries; a test may add
# its own overrides (wininet=d takes wininet.dll away).
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
unset DISPLAY
# Set for Wine only: the shell itself has no such locale to switch to.
in_wine_locale() { env LC_ALL=zh_CN.UTF-8 "$@"; }

# The run's Xvfb: its display number and process id, beside the prefix.
display_file="$WINEPREFIX.display"
display_pid_file="$WINEPREFIX.display-pid"

fail() {
  echo "wine-run.sh: $*" >&2
  exit 1
}

create_prefix() {
  local ready="$WINEPREFIX/.lorvane-ready"
  [[ -f "$ready" ]] && return 0
  # A half-made prefix (an interrupted run) is made again from scratch.
  rm -rf "$WINEPREFIX"
  mkdir -p "$(dirname "$WINEPREFIX")"
  # wineboot reports a missing syswow64\rundll32.exe on 64-bit-only Wine;
  # 64-bit programs do not need it.
  in_wine_locale wineboot -i
  wineserver -w
  [[ -f "$WINEPREFIX/system.reg" ]] || fail "wineboot made no prefix in $WINEPREFIX"
  touch "$ready"
}

stop_display() {
  local pid
  pid=$(cat "$display_pid_file" 2>/dev/null) || return 0
  # Only an Xvfb of ours: the pid of a run long gone may name anything now.
  if [[ "$(cat "/proc/$pid/comm" 2>/dev/null)" == Xvfb ]]; then
    kill "$pid" 2>/dev/null || true
    while kill -0 "$pid" 2>/dev/null; do sleep 0.1; done
  fi
  rm -f "$display_file" "$display_pid_file"
}

start_display() {
  stop_display
  # -displayfd: Xvfb picks a free display and writes its number once ready.
  # No tie to ctest's pipes, so the set-up can end while it keeps running.
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp \
    3>"$display_file" </dev/null >"$WINEPREFIX.display-log" 2>&1 &
  local pid=$! tries=200
  disown "$pid"
  echo "$pid" >"$display_pid_file"
  until grep -Eq '^[0-9]+$' "$display_file" 2>/dev/null; do
    kill -0 "$pid" 2>/dev/null && ((--tries > 0)) || {
      cat "$WINEPREFIX.display-log" >&2
      fail "Xvfb did not start"
    }
    sleep 0.1
  done
}

case "${1:-}" in
  --set-up)
    create_prefix
    start_display
    exit 0
    ;;
  --shut-down)
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    stop_display
    exit 0
    ;;
esac

display=false
native_build=
while [[ $# -gt 0 ]]; do
  case "$1" in
    --display) display=true; shift ;;
    --servers) native_build="${2:?--servers needs the native build folder}"; shift 2 ;;
    --) shift; break ;;
    -*) fail "unknown option $1" ;;
    *) break ;;
  esac
done
[[ $# -gt 0 ]] || fail "no program to run"
[[ -f "$WINEPREFIX/.lorvane-ready" ]] || fail "no Wine prefix in $WINEPREFIX (the wine.set-up test makes it)"

if $display; then
  number=$(cat "$display_file" 2>/dev/null) && pid=$(cat "$display_pid_file") &&
    kill -0 "$pid" 2>/dev/null || fail "no Xvfb running (the wine.set-up test starts it)"
  export DISPLAY=":$number"
fi

work=$(mktemp -d)
server_pid=
server_in=
cleanup() {
  # Closing the server's standard input is its signal to stop, its proxy with
  # it; SIGTERM does the same should it not have got as far as reading it.
  if [[ -n "$server_in" ]]; then exec {server_in}>&-; fi
  if [[ -n "$server_pid" ]]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# Waits up to 30 s for a line matching pattern in file while process pid lives.
wait_for_line() {
  local file=$1 pattern=$2 pid=$3 tries=300
  while ! grep -Eq "$pattern" "$file" 2>/dev/null; do
    kill -0 "$pid" 2>/dev/null || return 1
    ((--tries > 0)) || return 1
    sleep 0.1
  done
}

start_servers() {
  local server
  server=$(find "$native_build" -type f -name lorvane-test-server -perm -u+x -print -quit \
    2>/dev/null || true)
  [[ -n "$server" ]] || fail "no lorvane-test-server under $native_build (build the native tests first)"
  # --proxy: the servers' own tinyproxy, set up as for the native tests.
  mkfifo "$work/server-in"
  "$server" --proxy <"$work/server-in" >"$work/server-out" 2>"$work/server-err" &
  server_pid=$!
  exec {server_in}>"$work/server-in"
  local pattern='http=[0-9]+ https=[0-9]+ proxy=[0-9]+'
  wait_for_line "$work/server-out" "$pattern" "$server_pid" || {
    cat "$work/server-err" >&2
    fail "lorvane-test-server did not report its ports"
  }
  LORVANE_TEST_SERVERS=$(grep -Eo "$pattern" "$work/server-out" | head -n 1)
  export LORVANE_TEST_SERVERS
}

[[ -n "$native_build" ]] && start_servers

status=0
in_wine_locale wine "$@" || status=$?
exit "$status"
