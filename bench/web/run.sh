#!/bin/sh
# Requests per second of the web server on 127.0.0.1, against nginx serving
# the same bytes as a static file, in one run. Builds nothing: it uses
# build/web_bench_server (or $BUILD_DIR/web_bench_server) and the wrk and
# nginx of scripts/install-bench-deps.sh.
#
# "run.sh window" measures the main window instead (build/web_bench_window,
# offscreen, a graph of 120 points at the default size): nginx serves the
# bytes of its first reply, and afterwards a reply sampled after the load and
# one drawn afresh (the window told to forget its cached image) must both be
# the same bytes.
#
# Each server gets $BENCH_ROUNDS (default 3) wrk runs, taking turns with the
# other: 16 connections, 2 threads, $BENCH_SECONDS (default 10) seconds,
# "Connection: close" (one request per connection, as the server does); the
# medians are compared.
# Ports: $WEB_BENCH_PORT (default 18431) and $NGINX_BENCH_PORT (18432).
set -eu

top=$(cd "$(dirname "$0")/../.." && pwd)
mode="${1:-core}"
case "$mode" in
  core) server="${BUILD_DIR:-$top/build}/web_bench_server" ;;
  window) server="${BUILD_DIR:-$top/build}/web_bench_window" ;;
  *) echo "usage: $0 [core|window]"; exit 2 ;;
esac
ours_port="${WEB_BENCH_PORT:-18431}"
nginx_port="${NGINX_BENCH_PORT:-18432}"
duration="${BENCH_SECONDS:-10}"
rounds="${BENCH_ROUNDS:-3}"

for tool in wrk nginx curl; do
  command -v "$tool" >/dev/null || { echo "missing $tool: run scripts/install-bench-deps.sh"; exit 1; }
done
[ -x "$server" ] || { echo "missing $server: build the project first"; exit 1; }

tmp=$(mktemp -d)
server_pid=""
nginx_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT INT TERM

# nginx workers drop to an unprivileged user when started as root.
chmod 755 "$tmp"
mkdir -p "$tmp/www" "$tmp/temp"
body="$tmp/www/quorvel.jpg"

if [ "$mode" = core ]; then
  "$server" --port "$ours_port" --body-file "$body" --seconds $((duration * rounds * 2 + 30)) >"$tmp/server.log" 2>&1 &
else
  QT_QPA_PLATFORM=offscreen "$server" --port "$ours_port" --seconds $((duration * rounds * 2 + 30)) >"$tmp/server.log" 2>&1 &
fi
server_pid=$!

cat >"$tmp/nginx.conf" <<CONF
worker_processes auto;
daemon off;
pid $tmp/nginx.pid;
error_log $tmp/error.log warn;
events { worker_connections 1024; }
http {
  access_log off;
  client_body_temp_path $tmp/temp/body;
  proxy_temp_path $tmp/temp/proxy;
  fastcgi_temp_path $tmp/temp/fastcgi;
  uwsgi_temp_path $tmp/temp/uwsgi;
  scgi_temp_path $tmp/temp/scgi;
  types { image/jpeg jpg; }
  server {
    listen 127.0.0.1:$nginx_port;
    root $tmp/www;
  }
}
CONF

# Wait (bounded) until our server has written the body and both answer.
ready() {
  curl -sf -o /dev/null --max-time 2 "$1"
}
i=0
until { [ "$mode" = window ] || [ -s "$body" ]; } && ready "http://127.0.0.1:$ours_port/quorvel.jpg"; do
  i=$((i + 1)); [ $i -le 100 ] || { echo "$server did not start"; cat "$tmp/server.log"; exit 1; }
  sleep 0.1
done
[ "$mode" = core ] || curl -s "http://127.0.0.1:$ours_port/quorvel.jpg" -o "$body"
grep -m1 "^listening" "$tmp/server.log" || true
chmod 644 "$body"
nginx -p "$tmp" -e "$tmp/error.log" -c "$tmp/nginx.conf" &
nginx_pid=$!
i=0
until ready "http://127.0.0.1:$nginx_port/quorvel.jpg"; do
  i=$((i + 1)); [ $i -le 50 ] || { echo "nginx did not start"; cat "$tmp/error.log"; exit 1; }
  sleep 0.1
done

curl -s "http://127.0.0.1:$ours_port/quorvel.jpg" -o "$tmp/ours.jpg"
curl -s "http://127.0.0.1:$nginx_port/quorvel.jpg" -o "$tmp/nginx.jpg"
cmp -s "$tmp/ours.jpg" "$tmp/nginx.jpg" || { echo "the two servers send different bytes"; exit 1; }
echo "body: $(wc -c <"$body") bytes, identical from both servers"

measure() {
  wrk -t2 -c16 -d"${duration}s" --timeout 5s -H "Connection: close" "$1" >"$tmp/wrk.txt" 2>&1
  if grep -q "Non-2xx\|Socket errors" "$tmp/wrk.txt"; then
    grep "Non-2xx\|Socket errors" "$tmp/wrk.txt" >&2
  fi
  awk '/^Requests\/sec:/ { print $2 }' "$tmp/wrk.txt"
}

# The machine may be shared: the two servers take turns, so that a busy
# spell of other work falls on both alike; the median of the rounds' ratios
# counts.
ours_all=""
theirs_all=""
ratios=""
round=1
while [ "$round" -le "$rounds" ]; do
  ours=$(measure "http://127.0.0.1:$ours_port/quorvel.jpg")
  theirs=$(measure "http://127.0.0.1:$nginx_port/quorvel.jpg")
  awk -v r="$round" -v a="$ours" -v b="$theirs" \
    'BEGIN { printf "round %d: web server %s, nginx %s requests/s (%.1f %%)\n", r, a, b, 100 * a / b }'
  ours_all="$ours_all $ours"
  theirs_all="$theirs_all $theirs"
  ratios="$ratios $(awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "%.1f", 100 * a / b }')"
  round=$((round + 1))
done
median() {
  echo "$@" | tr ' ' '\n' | grep . | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
ours=$(median $ours_all)
theirs=$(median $theirs_all)
echo "web server: $ours requests/s (median of $rounds)"
echo "nginx:      $theirs requests/s (median of $rounds)"
echo "ratio:      $(median $ratios) % of nginx (median of the rounds' ratios; target 100 %)"

if [ "$mode" = window ]; then
  curl -s "http://127.0.0.1:$ours_port/quorvel.jpg" -o "$tmp/after.jpg"
  kill -USR1 "$server_pid"
  sleep 0.3
  fresh=$(curl -s -w '%{time_total}' "http://127.0.0.1:$ours_port/quorvel.jpg" -o "$tmp/fresh.jpg")
  cmp -s "$body" "$tmp/after.jpg" || { echo "the reply after the load differs from the first"; exit 1; }
  cmp -s "$body" "$tmp/fresh.jpg" || { echo "a fresh render differs from the served image"; exit 1; }
  echo "replies after the load and from a fresh render: identical to the first"
  echo "one request with a fresh render: ${fresh} s"
fi
