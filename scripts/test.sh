#!/usr/bin/env bash
# Every test: the native build (warnings are errors), the unit, network, GUI
# and command-line tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer, lorvane-demo under ThreadSanitizer with its load
# tests, each fuzz target for a few seconds, and the Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

step() { printf '\n== %s\n' "$*"; }

step "native build"
cmake --preset debug >/dev/null
cmake --build --preset debug -j "$jobs"
step "native tests"
ctest --preset debug -j "$jobs"

step "sanitizer build"
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize -j "$jobs"
step "sanitizer tests"
ctest --preset sanitize -j "$jobs"

step "ThreadSanitizer build (lorvane-demo)"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs"
step "lorvane-demo under load, ThreadSanitizer"
ctest --preset tsan

step "fuzz targets, ${LORVANE_FUZZ_SECONDS:-5} s each"
scripts/fuzz.sh "${LORVANE_FUZZ_SECONDS:-5}"

if [[ -f cmake/mingw-w64-x86_64.cmake ]]; then
  step "Windows build"
  cmake --preset windows >/dev/null
  cmake --build --preset windows -j "$jobs"
  step "Windows tests under Wine"
  ctest --preset windows
fi
