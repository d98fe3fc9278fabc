#!/usr/bin/env bash
# Runs every fuzz target in turn, one process at a time at the lowest priority, starting from
# the seeds in fuzz/seeds/<target>/ (new inputs go to a scratch corpus, not to the seeds).
# Not run by CI. Build first:
#   CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DVELTRA_FUZZ=ON \
#     -DVELTRA_BUILD_GUI=OFF -DVELTRA_BUILD_BENCH=OFF && ninja -C build-fuzz
# Usage: fuzz/run_all.sh [BUILD_DIR] [RUNS] [MAX_SECONDS]
#   (default build-fuzz, 2000000 executions, no time limit per target)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-fuzz}
runs=${2:-2000000}
seconds=${3:-0}
work=${FUZZ_WORK:-$(mktemp -d)}
for bin in "$build"/fuzz/*_fuzz; do
  name=$(basename "$bin")
  mkdir -p "$work/$name"
  echo "== $name"
  nice -n 19 "$bin" -runs="$runs" -max_total_time="$seconds" -max_len=65536 -timeout=30 \
    -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="$work/$name-" \
    "$work/$name" "fuzz/seeds/$name" 2>&1 | grep -E 'stat::number_of_executed_units|^==[0-9]+==|SUMMARY|Done|crash-|leak-|timeout-|oom-' || true
done
echo "corpus and any findings: $work"
