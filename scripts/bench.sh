#!/usr/bin/env bash
# Runs every benchmark of the release build and prints its figures.
set -euo pipefail
cd "$(dirname "$0")/.."
found=0
for bench in build/release/bench/*_benchmark; do
  [[ -x "$bench" ]] || continue
  found=1
  echo "== $(basename "$bench")"
  "$bench" --benchmark_counters_tabular=true
done
[[ $found -eq 1 ]] || echo "No benchmarks are built yet."
