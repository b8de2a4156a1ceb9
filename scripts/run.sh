#!/usr/bin/env bash
# The main job: builds and opens the window.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset debug >/dev/null
cmake --build --preset debug -j "$(nproc)"
if [[ ! -x build/debug/app/lorvane ]]; then
  echo "The window is not built yet."
  exit 0
fi
exec build/debug/app/lorvane
