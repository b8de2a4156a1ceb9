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

# lorvane-push has an absolute target and no yardstick of its own: the
# medians of push_benchmark (planning against a 1,000,000-URL ledger) as rows.
push_rows() {
  "$bin/push_benchmark" --benchmark_filter=Million --benchmark_format=csv 2>/dev/null | awk -F, '
    /^name,/ { for (i = 1; i <= NF; i++) { name = $i; gsub(/"/, "", name); col[name] = i }; next }
    /_median/ {
      t = $col["real_time"]; m = $col["peak_MiB"]
      figure = "lorvane-push, 1,000,000-URL ledger, plan a push of 2,000 new URLs"
      printf "row\t%s: time\t%.0f ms\t-\t-\t< 1 s\t%s\n", figure, t, (t < 1000 ? "yes" : "NO")
      printf "row\t%s: peak memory\t%.1f MiB\t-\t-\t< 200 MiB\t%s\n", figure, m, (m < 200 ? "yes" : "NO")
    }'
}

for comparison in text net submit push startup; do
  if [[ $comparison == push ]]; then
    if [[ -x "$bin/push_benchmark" ]]; then
      echo "running push ..." >&2
      push_rows >>"$rows" || echo "(push failed)" >&2
    fi
    continue
  fi
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
