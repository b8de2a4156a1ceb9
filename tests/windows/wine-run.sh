#!/usr/bin/env bash
# Runs the Windows test executables under Wine, the way ctest calls it:
#
#   wine-run.sh --create-prefix        make the Wine prefix $WINEPREFIX once
#   wine-run.sh --shutdown             stop the prefix's wineserver
#   wine-run.sh [--display] [--servers NATIVE_BUILD_DIR] [--] PROGRAM.exe [ARGS...]
#
# Every program runs with LC_ALL=zh_CN.UTF-8, which makes Wine's ANSI code
# page 936 (GetACP), the code page of the machines the tool is made for.
#   --display  starts an Xvfb on a free display for the program's windows.
#   --servers  starts the loopback test servers (lorvane-test-server from the
#              native build) and a tinyproxy forward proxy, and hands their
#              ports to the program as LORVANE_TEST_SERVERS="http=P https=P proxy=P".
# Whatever the wrapper starts, it stops when the program ends.
set -euo pipefail

: "${WINEPREFIX:?WINEPREFIX must name the Wine prefix}"
export WINEPREFIX WINEARCH=win64
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko install dialogs, no desktop menu entries; a test may add
# its own overrides (wininet=d takes wininet.dll away).
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
export LC_ALL=zh_CN.UTF-8

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
  wineboot -i
  wineserver -w
  [[ -f "$WINEPREFIX/system.reg" ]] || fail "wineboot made no prefix in $WINEPREFIX"
  touch "$ready"
}

case "${1:-}" in
  --create-prefix)
    create_prefix
    exit 0
    ;;
  --shutdown)
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
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
[[ -f "$WINEPREFIX/.lorvane-ready" ]] || fail "no Wine prefix in $WINEPREFIX (the wine.prefix test makes it)"

work=$(mktemp -d)
pids=()
server_in=
cleanup() {
  # Closing the server's standard input is its signal to stop.
  [[ -n "$server_in" ]] && exec {server_in}>&-
  local pid
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  for pid in "${pids[@]}"; do
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

# Waits up to 30 s for pattern in file while the process pid lives.
wait_for_line() {
  local file=$1 pattern=$2 pid=$3 tries=300
  while ! grep -Eq "$pattern" "$file" 2>/dev/null; do
    kill -0 "$pid" 2>/dev/null || return 1
    ((--tries > 0)) || return 1
    sleep 0.1
  done
}

start_display() {
  # -displayfd makes Xvfb pick a free display and write its number once ready.
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" \
    >"$work/xvfb.log" 2>&1 &
  pids+=($!)
  wait_for_line "$work/display" '^[0-9]+$' "$!" || {
    cat "$work/xvfb.log" >&2
    fail "Xvfb did not start"
  }
  export DISPLAY=":$(head -n 1 "$work/display")"
}

start_servers() {
  local server
  server=$(find "$native_build" -type f -name lorvane-test-server -perm -u+x -print -quit \
    2>/dev/null || true)
  [[ -n "$server" ]] || fail "no lorvane-test-server under $native_build (build the native tests first)"
  mkfifo "$work/server-in"
  "$server" <"$work/server-in" >"$work/server-out" 2>"$work/server-err" &
  pids+=($!)
  exec {server_in}>"$work/server-in"
  wait_for_line "$work/server-out" 'http=[0-9]+ https=[0-9]+' "$!" || {
    cat "$work/server-err" >&2
    fail "lorvane-test-server did not report its ports"
  }
  local ports
  ports=$(grep -Eo 'http=[0-9]+ https=[0-9]+' "$work/server-out" | head -n 1)
  start_proxy
  LORVANE_TEST_SERVERS="$ports proxy=$proxy_port"
  export LORVANE_TEST_SERVERS
}

# tinyproxy cannot bind port 0: it gets a random high port, and another one
# when that one is taken.
proxy_port=
start_proxy() {
  local attempt port pid
  for attempt in 1 2 3 4 5 6 7 8; do
    port=$((20000 + (RANDOM * 32768 + RANDOM) % 40000))
    cat >"$work/tinyproxy.conf" <<EOF
Port $port
Listen 127.0.0.1
Timeout 60
MaxClients 50
Allow 127.0.0.1
LogLevel Info
EOF
    tinyproxy -d -c "$work/tinyproxy.conf" >"$work/tinyproxy.log" 2>&1 &
    pid=$!
    if wait_for_line "$work/tinyproxy.log" 'Accepting connections' "$pid"; then
      pids+=("$pid")
      proxy_port=$port
      return 0
    fi
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  cat "$work/tinyproxy.log" >&2
  fail "tinyproxy did not start (attempt $attempt)"
}

$display && start_display
[[ -n "$native_build" ]] && start_servers

status=0
wine "$@" || status=$?
exit "$status"
