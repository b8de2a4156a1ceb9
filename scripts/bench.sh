#!/usr/bin/env bash
# Runs each comparison of the release build (bench/*_comparison: Lorvane beside
# its yardstick, interleaved, medians) and prints their rows as one table.
# The Google Benchmark programs (bench/*_benchmark) stay built beside them for
# a closer look at one area; they are not part of the table.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=build/release/bench
rows=$(mktemp)
trap 'rm -f "$rows"' EXIT

for comparison in text net submit push startup; do
  program="$bin/${comparison}_comparison"
  if [[ ! -x "$program" ]]; then
    echo "($comparison: $program is not built)" >&2
    continue
  fi
  echo "running $comparison ..." >&2
  "$program" | grep '^row' >>"$rows" || echo "($comparison failed)" >&2
done

model=$(lscpu | sed -n 's/^Model name: *//p' | head -1)
echo
echo "Machine: ${model:-unknown}, $(nproc) cores; medians of interleaved runs"
echo
awk -F'\t' '
  { for (i = 2; i <= 7; i++) { cell[NR, i] = $i; if (length($i) > width[i]) width[i] = length($i) } }
  END {
    split("figure|Lorvane|yardstick|ratio|target|met", head, "|")
    for (i = 2; i <= 7; i++) if (length(head[i - 1]) > width[i]) width[i] = length(head[i - 1])
    line = ""
    for (i = 2; i <= 7; i++) line = line sprintf("| %-*s ", width[i], head[i - 1])
    print line "|"
    line = ""
    for (i = 2; i <= 7; i++) { dashes = sprintf("%*s", width[i], ""); gsub(/ /, "-", dashes); line = line "|-" dashes "-" }
    print line "|"
    for (r = 1; r <= NR; r++) {
      line = ""
      for (i = 2; i <= 7; i++) line = line sprintf("| %-*s ", width[i], cell[r, i])
      print line "|"
    }
  }' "$rows"
