#!/usr/bin/env bash
# The main job: builds, starts the demo submission interface, and opens the
# window against it. Without a display, submits a small sample list with
# lorvane-submit instead. The demo is stopped however this script ends.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset debug >/dev/null
cmake --build --preset debug -j "$(nproc)" --target lorvane-demo lorvane-submit lorvane

demo_log=$(mktemp -d)
demo_pid=
stop_demo() {
  if [[ -n "$demo_pid" ]]; then
    kill -TERM "$demo_pid" 2>/dev/null || true
    wait "$demo_pid" 2>/dev/null || true
    demo_pid=
  fi
  rm -rf "$demo_log"
}
trap stop_demo EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

# Starts the demo on port $1 and waits for it to say where it listens;
# fails when it ends first (the port is taken).
start_demo() {
  : >"$demo_log/out"
  build/debug/demo/lorvane-demo --port "$1" >"$demo_log/out" 2>"$demo_log/err" &
  demo_pid=$!
  for _ in $(seq 100); do
    grep -q '^Interface address: ' "$demo_log/out" && return 0
    kill -0 "$demo_pid" 2>/dev/null || break
    sleep 0.05
  done
  wait "$demo_pid" 2>/dev/null || true
  demo_pid=
  return 1
}

# The default port first, so that the address stays the same from run to run.
if ! start_demo 8470; then
  echo "Port 8470 is taken; the demo interface takes a free port instead."
  start_demo 0 || { cat "$demo_log/err" >&2; exit 1; }
fi
address=$(sed -n 's/^Interface address: //p' "$demo_log/out")

echo
echo "The demo submission interface is running. Paste this interface address:"
echo
echo "    $address"
echo

if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]]; then
  echo "Opening the window; closing it stops the demo interface."
  status=0
  build/debug/app/lorvane || status=$?
  exit "$status"
fi

echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set), so the window cannot open."
echo "Submitting a sample list with lorvane-submit instead:"
echo
sample='http://www.example.com/articles/1.html
http://www.example.com/articles/2.html
http://www.example.com/文章/3.html
http://other.example/not-this-site.html'
printf '%s\n' "$sample" | sed 's/^/    /'
echo
echo "$ build/debug/cli/lorvane-submit --verbose '$address' <sample"
status=0
printf '%s\n' "$sample" | build/debug/cli/lorvane-submit --verbose "$address" || status=$?
echo "(exit status $status)"
exit "$status"
