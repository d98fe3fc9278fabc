#!/usr/bin/env bash
# Whole keyword run over the demo web: 200 company sites answering after 50 ms, at
# MaxFindWebThreadCount 10 and 30. Reports sites per second, peak RSS and CPU seconds of
# veltra-cli, and the sites per second against MaxFindWebThreadCount per second (the bound
# the 1000 ms supervision tick set before a worker's end woke the dispatch).
# Usage: bench/harvest_bench.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
sites=${SITES:-200}
latency=${LATENCY_MS:-50}
work=$(mktemp -d)
trap 'kill "${web:-}" 2>/dev/null || true; rm -rf "$work"' EXIT

printf '%-8s %8s %8s %9s %10s %10s %8s\n' threads seconds sites/s records peakRSS_MB cpu_s bound%
for threads in ${THREADS:-10 30}; do
  "$build"/tools/demoweb/veltra-demoweb --port 0 --sites "$sites" --latency-ms "$latency" \
    --threads "$threads" --write-settings "$work/g$threads.ini" --classic >"$work/web.log" 2>&1 &
  web=$!
  for _ in $(seq 100); do grep -q '^port ' "$work/web.log" && break; sleep 0.1; done
  start=$(date +%s.%N)
  /usr/bin/time -f '%M %U %S' -o "$work/time" "$build"/veltra-cli search \
    --config "$work/g$threads.ini" --mode keyword 机械 --out "$work/r.csv" >"$work/cli.log"
  end=$(date +%s.%N)
  kill "$web"; wait "$web" 2>/dev/null || true
  read -r rss user sys <"$work/time"
  queued=$(grep -o 'sites: [0-9]*' "$work/cli.log" | tail -1 | cut -d' ' -f2)
  records=$(grep -o 'records: [0-9]*' "$work/cli.log" | tail -1 | cut -d' ' -f2)
  awk -v t="$threads" -v s="$start" -v e="$end" -v n="$queued" -v r="$records" \
    -v rss="$rss" -v u="$user" -v y="$sys" 'BEGIN {
      secs = e - s; rate = n / secs;
      printf "%-8d %8.2f %8.2f %9d %10.1f %10.2f %7.0f%%\n", t, secs, rate, r, rss / 1024, u + y,
             100 * rate / t }'
done
