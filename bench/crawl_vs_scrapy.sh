#!/usr/bin/env bash
# veltra-cli search and Scrapy side by side on the same demo web: 200 company sites (one of
# them with 200 pages linking to each other) answering after LATENCY_MS, at 10 and 30
# workers. Prints, per worker count, the time to the last record and to the end of the run
# for both, and veltra's connections. With LATENCY_MS=0 it also prints sites per second
# against the worker count.
# Needs python3-scrapy (scripts/setup --bench).
# Usage: bench/crawl_vs_scrapy.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
sites=${SITES:-200}
latency=${LATENCY_MS:-300}
big=${BIG_SITE_PAGES:-200}
work=$(mktemp -d)
trap 'kill "${web:-}" 2>/dev/null || true; rm -rf "$work"' EXIT

start_web() {
  "$build"/tools/demoweb/veltra-demoweb --port 0 --sites "$sites" --latency-ms "$latency" \
    --big-site-pages "$big" --threads "$1" --write-settings "$work/g.ini" \
    --list-sites "$work/sites.txt" >"$work/web.log" 2>&1 &
  web=$!
  for _ in $(seq 100); do grep -q '^port ' "$work/web.log" && break; sleep 0.1; done
}
stop_web() {
  kill "$web"
  wait "$web" 2>/dev/null || true
  web=
}
now() { date +%s.%N; }

printf '%-8s %-8s %12s %10s %8s %11s\n' workers program last_record run_end records connections
for threads in ${THREADS:-10 30}; do
  # veltra-cli: the status line is printed (with a time stamp here) whenever it changes.
  start_web "$threads"
  start=$(now)
  "$build"/veltra-cli search --config "$work/g.ini" --mode keyword 机械 --out "$work/r.csv" |
    while IFS= read -r line; do printf '%s %s\n' "$(now)" "$line"; done >"$work/cli.log"
  end=$(now)
  stop_web
  connections=$(grep -o '^connections [0-9]*' "$work/web.log" | cut -d' ' -f2)
  records=$(grep -o 'records: [0-9]*' "$work/cli.log" | tail -1 | cut -d' ' -f2)
  # The first moment the record count reached its final value.
  last=$(awk -v s="$start" -v n="$records" '
    match($0, /得到信息:[0-9]+/) { v = substr($0, RSTART + length("得到信息:"), RLENGTH - length("得到信息:"));
      if (v + 0 == n + 0 && !seen) { seen = 1; print $1 - s } } END { if (!seen) print "-" }' "$work/cli.log")
  awk -v t="$threads" -v l="$last" -v s="$start" -v e="$end" -v r="$records" -v c="$connections" \
    'BEGIN { printf "%-8d %-8s %12s %10.2f %8d %11s\n", t, "veltra", l, e - s, r, c }'

  # Scrapy on the same sites with the same concurrency and two requests per site, with the
  # settings its documentation gives for broad crawls (breadth-first, downloader-aware queue).
  start_web "$threads"
  start=$(now)
  scrapy runspider bench/sites_spider.py -a sites_file="$work/sites.txt" \
    -a item_log="$work/items.log" -s CONCURRENT_REQUESTS="$threads" \
    -s CONCURRENT_REQUESTS_PER_DOMAIN=2 -s RETRY_ENABLED=0 -s DOWNLOAD_TIMEOUT=30 \
    -s DNS_RESOLVER=sites_spider.LocalhostResolver -s ROBOTSTXT_OBEY=0 -s COOKIES_ENABLED=0 \
    -s DEPTH_PRIORITY=1 -s SCHEDULER_DISK_QUEUE=scrapy.squeues.PickleFifoDiskQueue \
    -s SCHEDULER_MEMORY_QUEUE=scrapy.squeues.FifoMemoryQueue \
    -s SCHEDULER_PRIORITY_QUEUE=scrapy.pqueues.DownloaderAwarePriorityQueue \
    -s LOG_LEVEL=ERROR -s TELNETCONSOLE_ENABLED=0 >/dev/null 2>"$work/scrapy.err"
  end=$(now)
  stop_web
  items=$(wc -l <"$work/items.log")
  last=$(awk -v s="$start" '{ t = $1 } END { if (NR) printf "%.2f", t - s; else print "-" }' \
    "$work/items.log")
  awk -v t="$threads" -v l="$last" -v s="$start" -v e="$end" -v r="$items" \
    'BEGIN { printf "%-8d %-8s %12s %10.2f %8d %11s\n", t, "scrapy", l, e - s, r, "-" }'
done
