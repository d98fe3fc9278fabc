#!/usr/bin/env bash
# Keyword run over the demo web with today's sources only and requests to each search host
# paced (PaceMs, default 2000 as shipped). Reports the running time at which the last site
# address arrived (status line resolution: 1 s), the whole run's time, and the addresses
# each source gave.
# Usage: bench/sources_bench.sh [BUILD_DIR]   (default: build; SITES, PACE_MS override)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
sites=${SITES:-60}
pace=${PACE_MS:-2000}
work=$(mktemp -d)
trap 'kill "${web:-}" 2>/dev/null || true; rm -rf "$work"' EXIT

"$build"/tools/demoweb/veltra-demoweb --port 0 --sites "$sites" --write-settings "$work/g.ini" \
  >"$work/web.log" 2>&1 &
web=$!
for _ in $(seq 100); do grep -q '^port ' "$work/web.log" && break; sleep 0.1; done
sed -i "s/^PaceMs=.*/PaceMs=$pace/" "$work/g.ini"
start=$(date +%s.%N)
"$build"/veltra-cli search --config "$work/g.ini" --mode keyword 机械 >"$work/cli.log"
end=$(date +%s.%N)
final=$(grep -o '得到网址数:[0-9]*' "$work/cli.log" | tail -1)
first=$(grep -m1 "$final " "$work/cli.log" | grep -o '运行时间:[^ ]*')
echo "sites $sites  PaceMs $pace  addresses ${final#得到网址数:}  last address at ${first#运行时间:}"
awk -v s="$start" -v e="$end" 'BEGIN { printf "whole run %.2f s\n", e - s }'
grep '^结束' "$work/cli.log" | tail -1 | sed 's/.*秒  /per source: /'
