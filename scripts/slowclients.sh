#!/bin/sh
# Slow and idle clients against the web server, on 127.0.0.1 only; not part
# of the test run. Starts build/web_bench_server ("core", the default) or
# build/web_bench_window ("window", offscreen), then build/web_slow_clients:
# 1,000 idle and 64 one-byte-per-second connections from 127.0.0.1, and
# meanwhile 300 normal GETs (20 a second) from 127.0.0.2. It prints the share
# of the GETs answered, their p50/p99 latency and the server's memory (VmRSS
# from /proc). Targets: 100 % answered, p99 under 50 ms, under 64 MiB.
#
# Bounded: the client stops after 60 s whatever happens, the server after
# 90 s. Settings by environment: BUILD_DIR (where the programs are, default
# build/), SERVER_BUILD_DIR (where the server is, default BUILD_DIR: point it
# at another build to measure other code with the same client),
# SLOW_PORT (default 18441), IDLE (1000), SLOW (64), GETS (300), RATE (20),
# RECONNECT_MS (1000: how soon a closed attacking connection is reopened),
# SERVER_ARGS (more options for the core server, e.g. its caps:
# "--max-connections 4000 --max-waiting 2000 --max-waiting-per-address 2000"
# holds every attacker open).
set -eu

top=$(cd "$(dirname "$0")/.." && pwd)
mode="${1:-core}"
build="${BUILD_DIR:-$top/build}"
server_build="${SERVER_BUILD_DIR:-$build}"
case "$mode" in
  core) server="$server_build/web_bench_server" ;;
  window) server="$server_build/web_bench_window" ;;
  *) echo "usage: $0 [core|window]"; exit 2 ;;
esac
client="$build/web_slow_clients"
port="${SLOW_PORT:-18441}"
for program in "$server" "$client"; do
  [ -x "$program" ] || { echo "missing $program: build the project first"; exit 1; }
done

# About 1,100 client sockets and as many on the server's side, with room to spare.
ulimit -n 8192 2>/dev/null || ulimit -n "$(ulimit -Hn)"
echo "descriptor limit: $(ulimit -n)"

log=$(mktemp)
server_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  rm -f "$log"
}
trap cleanup EXIT INT TERM

if [ "$mode" = core ]; then
  # shellcheck disable=SC2086 # the options are meant to be split
  "$server" --port "$port" --seconds 90 ${SERVER_ARGS:-} >"$log" 2>&1 &
else
  QT_QPA_PLATFORM=offscreen "$server" --port "$port" --seconds 90 >"$log" 2>&1 &
fi
server_pid=$!

# Ready once it has said where it listens (bounded: 10 s).
i=0
until grep -q "^listening" "$log"; do
  i=$((i + 1))
  if [ $i -gt 100 ] || ! kill -0 "$server_pid" 2>/dev/null; then
    echo "$server did not start"; cat "$log"; exit 1
  fi
  sleep 0.1
done
grep -m1 "^listening" "$log"
sleep 0.5

timeout 75 "$client" --port "$port" --pid "$server_pid" --idle "${IDLE:-1000}" \
  --slow "${SLOW:-64}" --gets "${GETS:-300}" --rate "${RATE:-20}" \
  --reconnect-ms "${RECONNECT_MS:-1000}" --seconds 60
