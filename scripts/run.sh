#!/usr/bin/env bash
# The main job: builds, starts the demo submission interface, and opens the
# window against it. Without a display, submits a small sample list with
# lorvane-submit instead, then pushes the demo site's sitemap with
# lorvane-push. The demo is stopped however this script ends.
#
# The run build (preset `run`) compiles the demo's https listener in as the
# start-up notice's host, and the demo answers its flag file with "0", so the
# window opens without a notice.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset run >/dev/null
cmake --build --preset run -j "$(nproc)"
bin=build/run

# The https port the window's notice asks, as compiled in.
notice_host=$(sed -n 's/^LORVANE_NOTICE_HOST:[A-Z]*=//p' "$bin/CMakeCache.txt")
notice_port=
[[ "$notice_host" =~ ^127\.0\.0\.1:([0-9]+)$ ]] && notice_port=${BASH_REMATCH[1]}

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

# Starts the demo on port $1, with https on port $2, and waits for it to say
# where it listens; fails when it ends first (a port is taken).
start_demo() {
  : >"$demo_log/out"
  "$bin/demo/lorvane-demo" --port "$1" --tls-port "$2" >"$demo_log/out" 2>"$demo_log/err" &
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
# The https port must be the notice's; only when that cannot be had does the
# demo take any, and the notice is then likely to appear.
tls_port=${notice_port:-0}
if [[ -z "$notice_port" ]]; then
  echo "The run build's notice host is \"$notice_host\", not the demo interface: expect the start-up notice."
fi
if ! start_demo 8470 "$tls_port"; then
  if start_demo 0 "$tls_port"; then
    echo "Port 8470 is taken; the demo interface takes a free port instead."
  else
    if [[ "$tls_port" != 0 ]]; then
      echo "Port $tls_port is taken by another program: the window's start-up notice asks it, not"
      echo "this demo, for https://$notice_host/abc.txt, and shows the notice unless it answers \"0\"."
    fi
    start_demo 8470 0 || start_demo 0 0 || { cat "$demo_log/err" >&2; exit 1; }
  fi
fi
address=$(sed -n 's/^Interface address: //p' "$demo_log/out")

echo
echo "The demo submission interface is running. Paste this interface address:"
echo
echo "    $address"
echo

if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]]; then
  echo "Opening the window; closing it stops the demo interface."
  echo "(Its start-up notice asks https://$notice_host/abc.txt; the demo answers \"0\", so no notice.)"
  status=0
  "$bin/app/lorvane" || status=$?
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
echo "$ $bin/cli/lorvane-submit --verbose '$address' <sample"
status=0
printf '%s\n' "$sample" | "$bin/cli/lorvane-submit" --verbose "$address" || status=$?
echo "(exit status $status)"
[[ "$status" -eq 0 ]] || exit "$status"

# Then a whole site: the demo's own sitemap index (two sitemaps, one gzipped)
# pushed in batches, with a ledger of this run only, so that each run starts
# afresh. The second push finds nothing new.
echo
echo "Pushing the demo site's sitemap with lorvane-push (batches of 4, a ledger of this run):"
sitemap="${address%%/urls*}/sitemap.xml"
ledger="$demo_log/ledger.sqlite"
for run in first second; do
  echo
  echo "$ $bin/cli/lorvane-push --batch 4 --ledger $ledger --sitemap $sitemap '$address'"
  status=0
  "$bin/cli/lorvane-push" --batch 4 --ledger "$ledger" --sitemap "$sitemap" "$address" || status=$?
  echo "(exit status $status, $run push)"
  [[ "$status" -eq 0 ]] || exit "$status"
done
