#!/usr/bin/env bash
# Builds the fuzz targets (preset fuzz, clang) and runs each over its corpus
# for SECONDS seconds (default 60), one after the other; prints for each its
# executions per second, its coverage (libFuzzer's cov and ft at the end) and
# what it found. Exits 1 when a target found something: a crash, a property
# that does not hold, a leak, a time-out or too much memory. The input that
# shows it is kept in build/fuzz/findings/.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"

corpora=tests/fuzz/corpus
binaries=build/fuzz/tests/fuzz
findings=build/fuzz/findings
mkdir -p "$findings"

if [[ $# -gt 0 ]]; then
  targets=("$@")
else
  targets=()
  for dir in "$corpora"/*/; do targets+=("$(basename "$dir")"); done
fi

# Options each target may add (memory bounds for the document readers).
declare -A extra_options=()
if [[ -f tests/fuzz/options.txt ]]; then
  while read -r name options; do
    [[ -z "$name" || "$name" == \#* ]] && continue
    extra_options[$name]=$options
  done <tests/fuzz/options.txt
fi

# Large documents each reader must refuse or read within its memory bounds,
# made here rather than kept in the repository: run once each before the
# fuzzing of their target (whose mutations of them would be too slow).
repeated() { head -c "$2" /dev/zero | tr '\0' "$1"; }
make_heavy_inputs() {
  local dir=build/fuzz/heavy
  mkdir -p "$dir/sitemap_fuzzer" "$dir/push_reply_fuzzer"
  { printf '\0<urlset>'; repeated ' ' $((51 << 20)); printf '</urlset>'; } | gzip -9 \
    >"$dir/sitemap_fuzzer/gzip-over-50-mib"
  { printf '\0<urlset>'; repeated '<' 300000; printf '</urlset>'; } >"$dir/sitemap_fuzzer/many-open-brackets"
  { printf '\0<urlset>'; repeated a 300000 | sed 's/a/<a>/g'; printf '</urlset>'; } \
    >"$dir/sitemap_fuzzer/deep"
  { printf '\0\0'; repeated '[' 200000; repeated ']' 200000; } >"$dir/push_reply_fuzzer/deep"
  { printf '\0\0{"not_valid":['; repeated x 300000 | sed 's/x/"x",/g'; printf '"y"]}'; } \
    >"$dir/push_reply_fuzzer/long-list"
}
make_heavy_inputs

failed=0
summary=()
for target in "${targets[@]}"; do
  binary=$binaries/$target
  if [[ ! -x $binary ]]; then
    # Its code is not in this tree yet (tests/fuzz/CMakeLists.txt builds a
    # target only when the library it calls exists).
    summary+=("$(printf '%-20s not built' "$target")")
    echo "${summary[-1]}"
    continue
  fi
  # New inputs go to a work folder; the repository's corpus is only read.
  work=build/fuzz/corpus/$target
  log=build/fuzz/$target.log
  mkdir -p "$work"
  status=0
  if [[ -d build/fuzz/heavy/$target ]]; then
    # shellcheck disable=SC2086
    "$binary" -rss_limit_mb=2048 -artifact_prefix="$findings/$target-" ${extra_options[$target]:-} \
      build/fuzz/heavy/"$target"/* >"$log.heavy" 2>&1 || { status=$?; log=$log.heavy; }
  fi
  if [[ $status -eq 0 ]]; then
    # shellcheck disable=SC2086
    "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$findings/$target-" ${extra_options[$target]:-} \
      "$work" "$corpora/$target" >"$log" 2>&1 || status=$?
  fi
  execs=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  cov=$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -1 | sed 's/cov: \([0-9]*\) ft: \([0-9]*\)/\1 \2/')
  read -r edges features <<<"${cov:-- -}"
  if [[ $status -eq 0 ]]; then
    found="nothing"
  else
    failed=1
    found=$(grep -m1 -E '^\*\*\* property does not hold|^==[0-9]+==ERROR|^SUMMARY|ERROR: libFuzzer' "$log" |
      sed 's/^==[0-9]*==//' || true)
    found="${found:-exit status $status} (log: $log)"
  fi
  summary+=("$(printf '%-20s %8s exec/s  cov %6s  ft %6s  found: %s' "$target" "${execs:--}" \
    "$edges" "$features" "$found")")
  echo "${summary[-1]}"
  if [[ $status -ne 0 ]]; then
    # The report of the finding: the property or the sanitizer's account.
    grep -A12 -E '^\*\*\* property does not hold|==ERROR' "$log" | head -30 >&2 || true
  fi
done

printf '\nfuzzing, %s s each:\n' "$seconds"
printf '  %s\n' "${summary[@]}"
exit "$failed"
