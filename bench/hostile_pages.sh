#!/usr/bin/env bash
# Memory and stop latency under hostile pages: a directory site lists SITES company sites
# whose every page is a 16 MiB body without records (linking to more such pages). Runs
# veltra-cli in site mode at THREADS workers for RUN_SECONDS, then sends Ctrl-C and reports
# the peak RSS and the time from Ctrl-C to exit. PAGE_MIB sets the page memory budget
# (settings key PageMemoryMiB; 0 switches it off, to compare).
# Usage: bench/hostile_pages.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
sites=${SITES:-30}
run_seconds=${RUN_SECONDS:-15}
work=$(mktemp -d)
trap 'kill "${web:-}" 2>/dev/null || true; rm -rf "$work"' EXIT

cat >"$work/server.py" <<'PY'
import http.server, socketserver, sys
SITES = int(sys.argv[1])
BIG = (b"<html><body><a href='/p1'>p1</a><a href='/p2'>p2</a><a href='/p3'>p3</a>"
       + b"<p>filler text without any contact data</p>" * (16 * 1024 * 1024 // 45))[:16 << 20]
class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    def log_message(self, *args): pass
    def do_GET(self):
        host = self.headers.get("Host", "").split(":")[0]
        if host.startswith("dir."):
            port = self.server.server_address[1]
            links = "".join(f"<a href='http://s{i}.localhost:{port}/company'>site {i}</a><br>"
                            for i in range(SITES))
            body = f"<html><body>{links}</body></html>".encode()
        else:
            body = BIG
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=gbk")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        try:
            self.wfile.write(body)
        except (BrokenPipeError, ConnectionResetError):
            pass
class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True
server = Server(("127.0.0.1", 0), Handler)
print("port", server.server_address[1], flush=True)
server.serve_forever()
PY

python3 "$work/server.py" "$sites" >"$work/web.log" 2>&1 &
web=$!
for _ in $(seq 100); do grep -q '^port ' "$work/web.log" && break; sleep 0.1; done
port=$(awk '/^port /{print $2}' "$work/web.log")

printf '%-8s %9s %11s %11s\n' threads budgetMiB peakRSS_MB ctrlc_ms
for threads in ${THREADS:-20 30}; do
  for budget in ${PAGE_MIB:-256 0}; do
    printf '[POINTLIKE]\r\nInfoLinkLike=company;\r\nNextPageLinkLike=nextpage;\r\nBUseCompanyNameLike=0\r\n[SETTING]\r\nMaxFindWebThreadCount=%s\r\nMaxCrawlLevel=2\r\n[FLAGUSESEARCH]\r\nFlagUseSina=0\r\nFlagUseSohu=0\r\nFlagUseYahoo=0\r\nFlagUse163=0\r\nFlagUseGoogle=0\r\nFLAGUSEBaidu=0\r\n[CRAWL]\r\nSitePageBudget=0\r\nSiteTimeBudget=0\r\n[NETWORK]\r\nProxyMode=0\r\nPageMemoryMiB=%s\r\n' \
      "$threads" "$budget" >"$work/g.ini"
    /usr/bin/time -f '%M' -o "$work/time" "$build"/veltra-cli search --mode site \
      "http://dir.localhost:$port/" --config "$work/g.ini" >"$work/cli.log" 2>&1 &
    cli=$!
    sleep "$run_seconds"
    # Ctrl-C goes to veltra-cli itself (time(1) ignores it).
    start=$(date +%s%N)
    kill -INT "$(pgrep -P "$cli")"
    wait "$cli" || true
    end=$(date +%s%N)
    awk -v t="$threads" -v b="$budget" -v kb="$(tail -1 "$work/time")" -v ms="$(((end - start) / 1000000))" \
      'BEGIN { printf "%-8d %9d %11.1f %11d\n", t, b, kb / 1024, ms }'
  done
done
