#!/usr/bin/env bash
# Regenerates the README's pictures of the window from the GUI tests that take
# them, and copies them to docs/screenshots/:
#   lorvane-qt.png, lorvane-qt-144dpi.png        the Qt window (offscreen), 96 and 144 dpi
#   lorvane-win32.png, lorvane-win32-144dpi.png  lorvane.exe's window under Wine
set -euo pipefail
cd "$(dirname "$0")/.."
"$(dirname "$0")/install-deps.sh"

cmake --preset debug >/dev/null
cmake --build --preset debug -j "$(nproc)" --target gui_window_test lorvane-test-server
ctest --preset debug -R 'WindowTest\.SavesAScreenshot|gui_window\.scale-1\.5'

cmake --preset windows >/dev/null
cmake --build --preset windows -j "$(nproc)" --target window_program_test window_dpi_test
# The set-up and the virtual desktop are fixtures: ctest adds them.
ctest --preset windows -R 'window_program_test|window_dpi_test\.144'

mkdir -p docs/screenshots
cp build/debug/screenshots/lorvane-qt.png build/debug/screenshots/lorvane-qt-144dpi.png \
  build/windows/screenshots/lorvane-win32.png build/windows/screenshots/lorvane-win32-144dpi.png \
  docs/screenshots/
ls -l docs/screenshots
