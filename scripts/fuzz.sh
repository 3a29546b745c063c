#!/usr/bin/env bash
# Runs every fuzz target of the fuzz build for a share of the given number
# of seconds (default 60 in all), starting from its seed corpus. New inputs
# go to a scratch folder, never into the committed corpus.
set -euo pipefail
cd "$(dirname "$0")/.."

total=${1:-60}
bin=build/fuzz/tests/fuzz
corpus=tests/fuzz/corpus
targets=()
for f in "$bin"/fuzz_*; do
  [ -x "$f" ] && targets+=("$f")
done
if [ ${#targets[@]} -eq 0 ]; then
  echo "no fuzz targets built in $bin" >&2
  exit 1
fi
each=$(( total / ${#targets[@]} ))
[ "$each" -ge 5 ] || each=5

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
status=0
for f in "${targets[@]}"; do
  name=$(basename "$f")
  mkdir -p "$scratch/$name"
  seeds=()
  [ -d "$corpus/$name" ] && seeds+=("$corpus/$name")
  echo "== $name: ${each}s"
  if ! "$f" -max_total_time="$each" -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 \
        -artifact_prefix="$scratch/" "$scratch/$name" "${seeds[@]}" > "$scratch/$name.log" 2>&1; then
    echo "$name FAILED:" >&2
    tail -60 "$scratch/$name.log" >&2
    mkdir -p build/fuzz/artifacts && cp "$scratch"/crash-* "$scratch"/leak-* "$scratch"/timeout-* "$scratch"/oom-* build/fuzz/artifacts/ 2>/dev/null || true
    status=1
  else
    grep -E 'stat::number_of_executed_units|Done [0-9]+ runs' "$scratch/$name.log" | tail -2
  fi
done
exit $status
