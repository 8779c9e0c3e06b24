#!/bin/sh
# The web server under a descriptor flood, on 127.0.0.1 only; not part of the
# test run. Starts build/web_bench_server with a descriptor limit of LIMIT
# (256) and, beside it, a pipe made and closed every 20 ms (as a ping probe
# does), then opens FLOOD (1000) idle connections from 127.0.0.1, each once,
# while 100 GETs come from 127.0.0.2 (10 a second). Prints how many
# connections the server held in the middle of the flood, its CPU time
# during the flood, how many pipes could not be made, and the GETs answered.
# The caps on waiting connections are lifted (SERVER_ARGS), as if the idle
# connections came from as many addresses: only the descriptors bound them.
#
# Bounded: the client stops after 20 s, the server after 40 s.
# BUILD_DIR (default build/), FLOOD_PORT (18442), LIMIT, FLOOD, SERVER_ARGS.
set -eu

top=$(cd "$(dirname "$0")/../.." && pwd)
build="${BUILD_DIR:-$top/build}"
server="$build/web_bench_server"
client="$build/web_slow_clients"
port="${FLOOD_PORT:-18442}"
limit="${LIMIT:-256}"
flood="${FLOOD:-1000}"
for program in "$server" "$client"; do
  [ -x "$program" ] || { echo "missing $program: build the project first"; exit 1; }
done
ulimit -n 8192 2>/dev/null || ulimit -n "$(ulimit -Hn)"

log=$(mktemp)
server_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  rm -f "$log"
}
trap cleanup EXIT INT TERM

# shellcheck disable=SC2086 # the options are meant to be split
prlimit --nofile="$limit:$limit" "$server" --port "$port" --seconds 40 --pipe-probe-ms 20 \
  ${SERVER_ARGS:---max-waiting 2000 --max-waiting-per-address 2000} >"$log" 2>&1 &
server_pid=$!
i=0
until grep -q "^listening" "$log"; do
  i=$((i + 1))
  if [ $i -gt 100 ] || ! kill -0 "$server_pid" 2>/dev/null; then
    echo "$server did not start"; cat "$log"; exit 1
  fi
  sleep 0.1
done

ticks() { awk '{ print $14 + $15 }' "/proc/$server_pid/stat"; }
sockets() { ls -l "/proc/$server_pid/fd" 2>/dev/null | grep -c socket || true; }
before=$(ticks)
timeout 30 "$client" --port "$port" --pid "$server_pid" --idle "$flood" --slow 0 \
  --gets 100 --rate 10 --warmup 2 --reconnect-ms 600000 --seconds 20 &
client_pid=$!
sleep 1.5
held=$(sockets)
wait "$client_pid" || true
after=$(ticks)
hz=$(getconf CLK_TCK)
kill -TERM "$server_pid"
wait "$server_pid" || true
server_pid=""
echo "descriptor limit $limit, $flood idle connections: the server held $held sockets in the middle"
echo "server CPU during the flood: $(echo "$before $after $hz" | awk '{ printf "%.2f", ($2 - $1) / $3 }') s"
grep -h "^pipes:\|^connections:" "$log" || true
grep -c "web server:" "$log" | sed 's/$/ incident lines on standard error/' || true
