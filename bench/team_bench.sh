#!/usr/bin/env bash
# Team harvest over the demo web: 400 company sites answering after 300 ms, 10 workers a node.
# Runs the keyword task on one machine without a database, then as a team of 1, 2 and 4 nodes
# on a private PostgreSQL server, and reports seconds, sites per second, the speed-up over one
# node and the database round trips per site.
# The sites answer after LATENCY_MS; the engines' result pages after SEARCH_LATENCY_MS (default
# 0): one node runs the search for the whole team, so with slow result pages the search alone
# bounds a team's speed (at 300 ms, about 17 s for the 400 sites, whatever the number of nodes).
# Measured (2 cores, PostgreSQL 15, 10 workers a node):
#   400 sites:  local 14.2/s, team 1 13.6/s, 2 nodes 1.69x, 4 nodes 2.74x (10.8 s; one local
#               node with 40 workers takes 11.2 s: the search and the last sites' page chains
#               are the run's fixed part, not the team's)
#   1000 sites: local 14.7/s, team 1 14.4/s, 4 nodes 3.32x; 3.5 database round trips a site
#   2000 sites: local 14.9/s, team 1 14.7/s, 4 nodes 3.51x (38.9 s); 3.4-3.5 round trips a site
#   With SEARCH_LATENCY_MS=300 the search ends after about 17 s: 2 and 4 nodes both 1.7x.
# Usage: bench/team_bench.sh [BUILD_DIR]
#   (default: build; NODES="1 2 4", SITES, LATENCY_MS, SEARCH_LATENCY_MS)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
sites=${SITES:-400}
latency=${LATENCY_MS:-300}
search_latency=${SEARCH_LATENCY_MS:-0}
work=$(mktemp -d /tmp/veltra-team-bench-XXXXXX)
pgbin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -1)
run_pg() { if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi; }
cleanup() {
  kill "${web:-}" 2>/dev/null || true
  run_pg "$pgbin/pg_ctl" -D "$work/pg" -m immediate stop >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

# The server, private to this run.
echo secret >"$work/pw"
[ "$(id -u)" = 0 ] && chown -R postgres "$work"
run_pg "$pgbin/initdb" -D "$work/pg" -U bench --pwfile="$work/pw" -A scram-sha-256 -E UTF8 \
  --no-locale >/dev/null
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
run_pg "$pgbin/pg_ctl" -D "$work/pg" -l "$work/pg.log" -w \
  -o "-p $port -k $work -c listen_addresses=127.0.0.1 -c fsync=off" start >/dev/null
export PGPASSWORD=secret

"$build"/tools/demoweb/veltra-demoweb --port 0 --sites "$sites" --latency-ms "$latency" \
  --search-latency-ms "$search_latency" \
  --threads 10 --write-settings "$work/g.ini" --classic >"$work/web.log" 2>&1 &
web=$!
for _ in $(seq 100); do grep -q '^port ' "$work/web.log" && break; sleep 0.1; done

printf '%-10s %8s %8s %8s %9s %12s\n' mode seconds sites sites/s speed-up trips/site
start=$(date +%s.%N)
"$build"/veltra-cli search --config "$work/g.ini" --mode keyword 机械 >"$work/local.log"
end=$(date +%s.%N)
n=$(grep -o 'sites: [0-9]*' "$work/local.log" | tail -1 | cut -d' ' -f2)
awk -v s="$start" -v e="$end" -v n="$n" \
  'BEGIN { printf "%-10s %8.2f %8d %8.2f %9s %12s\n", "local", e - s, n, n / (e - s), "-", "-" }'

one=""
for nodes in ${NODES:-1 2 4}; do
  db=bench$nodes
  run_pg "$pgbin/psql" -h "$work" -p "$port" -U bench -d postgres -qc "CREATE DATABASE $db" \
    >/dev/null
  url="postgresql://bench@127.0.0.1:$port/$db"
  start=$(date +%s.%N)
  pids=()
  for i in $(seq "$nodes"); do
    "$build"/veltra-cli search --config "$work/g.ini" --team "$url" --task-name bench \
      --mode keyword 机械 >"$work/n$nodes-$i.log" 2>&1 &
    pids+=($!)
  done
  wait "${pids[@]}"
  end=$(date +%s.%N)
  done_sites=$("$build"/veltra-cli team status --team "$url" --task-name bench |
    grep -o 'done [0-9]*' | cut -d' ' -f2)
  trips=$(cat "$work"/n"$nodes"-*.log | grep -o 'db round trips [0-9]*' |
    awk '{ t += $4 } END { print t }')
  rate=$(awk -v s="$start" -v e="$end" -v n="$done_sites" 'BEGIN { print n / (e - s) }')
  [ -z "$one" ] && one=$rate
  awk -v s="$start" -v e="$end" -v n="$done_sites" -v r="$rate" -v o="$one" -v t="$trips" \
    -v k="$nodes" 'BEGIN { printf "%-10s %8.2f %8d %8.2f %9.2f %12.1f\n", "team " k, e - s, n,
      r, r / o, t / n }'
done
