#!/usr/bin/env bash
# Load figures of the HTTP service on the loopback address: requests per second and latency
# percentiles of GET /health and POST /qvl Calculate on the reference swap, with keep-alive and
# with a new connection per request; with nginx installed, also a static file of the health
# document's size served by one nginx worker, and the ratio of the two /health throughputs.
#
# Usage: bench/http_load.sh [build-dir]   (default build/release; http_serve is built if missing)
# Environment: QVL_LOAD_SECONDS (default 5), QVL_LOAD_CONNECTIONS (default 16),
#              QVL_LOAD_PORT (default 30180, below the ephemeral range so that the runs' own
#              client ports never hold it; nginx uses the next port).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/release}
seconds=${QVL_LOAD_SECONDS:-5}
connections=${QVL_LOAD_CONNECTIONS:-16}
port=${QVL_LOAD_PORT:-30180}
nginx_port=$((port + 1))

source scripts/deps.sh
install_deps "${QVL_BENCH_PACKAGES[@]}"
if [ ! -x "$build/bench/http_serve" ]; then
    [ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$build" --target http_serve -j 2 >/dev/null
fi

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

wait_for() {  # url: up to 5 s for the first answer
    for _ in $(seq 50); do
        curl -s -o /dev/null --max-time 1 "$1" && return 0
        sleep 0.1
    done
    echo "no answer from $1" >&2
    exit 1
}

"$build/bench/http_serve" "$port" >"$work/serve.log" 2>&1 &
pids+=($!)
wait_for "http://127.0.0.1:$port/health"

cat >"$work/calculate.lua" <<'LUA'
wrk.method = "POST"
wrk.body = '{"Request":"Calculate","Trade Date":"2026-01-20","Credit Event Rate":200}'
wrk.headers["Content-Type"] = "application/json"
LUA

have_nginx=false
if command -v nginx >/dev/null; then
    mkdir -p "$work/html"
    curl -s "http://127.0.0.1:$port/health" >"$work/html/health"
    # nginx's worker drops root's rights and must still read the file.
    chmod a+rx "$work" "$work/html" && chmod a+r "$work/html/health"
    cat >"$work/nginx.conf" <<NGINX
worker_processes 1;
daemon off;
pid $work/nginx.pid;
error_log $work/nginx-error.log;
events { worker_connections 1024; }
http {
    access_log off;
    client_body_temp_path $work/body;
    proxy_temp_path $work/proxy;
    fastcgi_temp_path $work/fastcgi;
    uwsgi_temp_path $work/uwsgi;
    scgi_temp_path $work/scgi;
    server {
        listen 127.0.0.1:$nginx_port;
        root $work/html;
        default_type application/json;
    }
}
NGINX
    nginx -c "$work/nginx.conf" -p "$work" &
    pids+=($!)
    wait_for "http://127.0.0.1:$nginx_port/health"
    have_nginx=true
fi

declare -A rps
run() {  # name, then wrk arguments
    local name=$1
    shift
    local out
    out=$(wrk -t 1 -c "$connections" -d "${seconds}s" --latency "$@")
    rps[$name]=$(awk '/^Requests\/sec:/ {print $2}' <<<"$out")
    local latency
    latency=$(awk '/^ +(50|75|90|99)%/ {printf "p%s %s  ", substr($1, 1, length($1) - 1), $2}' \
        <<<"$out")
    local errors
    errors=$(awk '/Non-2xx|Socket errors/ {printf "%s ", $0}' <<<"$out")
    printf '%-34s %10s req/s   %s%s\n' "$name" "${rps[$name]}" "$latency" "$errors"
}

echo "== $seconds s per run, $connections connections, one wrk thread, $(nproc) cores"
base="http://127.0.0.1:$port"
run "health keep-alive" "$base/health"
$have_nginx && run "nginx static keep-alive" "http://127.0.0.1:$nginx_port/health"
run "calculate keep-alive" -s "$work/calculate.lua" "$base/qvl"
run "health new connection" -H "Connection: close" "$base/health"
$have_nginx && run "nginx static new connection" -H "Connection: close" \
    "http://127.0.0.1:$nginx_port/health"
run "calculate new connection" -H "Connection: close" -s "$work/calculate.lua" "$base/qvl"

if $have_nginx; then
    awk -v a="${rps[health keep-alive]}" -v b="${rps[nginx static keep-alive]}" \
        'BEGIN { printf "health / nginx (keep-alive): %.2f   (target at least 0.50)\n", a / b }'
    awk -v a="${rps[health new connection]}" -v b="${rps[nginx static new connection]}" \
        'BEGIN { printf "health / nginx (new connection): %.2f\n", a / b }'
fi
echo "targets: calculate keep-alive >= 20000 req/s; new connection >= 10000 req/s"
