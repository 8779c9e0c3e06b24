#!/bin/sh
# quorvel-agent under a descriptor flood, on the loopback network only; not
# part of the test run. Starts the agent with a descriptor limit of LIMIT
# (256), TARGETS (20) loopback targets (127.0.0.1, 127.0.0.2, ...) at 0.2 s
# and --listen, then opens FLOOD (1000) idle connections to it from
# 127.0.0.1 for 20 s while 100 scrapes of /metrics come from 127.0.0.2.
# Prints the agent's report summed over its targets: probes sent, received,
# lost, and the probes that could not be made (errors), by reason, from its
# closing lines; every target answers, so any "lost" is a false loss.
#
# With SLOW=SECONDS the fake ping (tests/fakeping) answers every probe after
# that long instead of the real ping, so that many probes hold their pipes at
# once, as probes of distant targets do.
#
# Bounded: the flood stops after 20 s, the agent is stopped after 25 s.
# BUILD_DIR (default build/), AGENT (default BUILD_DIR/quorvel-agent),
# FLOOD_PORT (18443), LIMIT, FLOOD, TARGETS, SLOW.
# ENGINE (ping) is the agent's --engine: these figures are the ping child's.
set -eu

top=$(cd "$(dirname "$0")/../.." && pwd)
build="${BUILD_DIR:-$top/build}"
agent="${AGENT:-$build/quorvel-agent}"
client="$build/web_slow_clients"
port="${FLOOD_PORT:-18443}"
limit="${LIMIT:-256}"
flood="${FLOOD:-1000}"
count="${TARGETS:-20}"
for program in "$agent" "$client"; do
  [ -x "$program" ] || { echo "missing $program: build the project first"; exit 1; }
done
ulimit -n 8192 2>/dev/null || ulimit -n "$(ulimit -Hn)"

report=$(mktemp)
agent_pid=""
cleanup() {
  [ -n "$agent_pid" ] && kill "$agent_pid" 2>/dev/null && wait "$agent_pid" 2>/dev/null
  rm -f "$report"
}
trap cleanup EXIT INT TERM

if [ -n "${SLOW:-}" ]; then
  PATH="$top/tests/fakeping:$PATH" FAKE_PING_MODE=slow FAKE_PING_DELAY="$SLOW"
  export PATH FAKE_PING_MODE FAKE_PING_DELAY
fi
targets=""
i=1
while [ "$i" -le "$count" ]; do targets="$targets 127.0.0.$i"; i=$((i + 1)); done
# shellcheck disable=SC2086 # one word per target
prlimit --nofile="$limit:$limit" "$agent" --quiet --engine "${ENGINE:-ping}" --interval 0.2 --listen "127.0.0.1:$port" $targets \
  >"$report" 2>&1 &
agent_pid=$!
sleep 1
timeout 30 "$client" --port "$port" --pid "$agent_pid" --idle "$flood" --slow 0 --gets 100 --rate 5 \
  --warmup 1 --reconnect-ms 100 --seconds 20 --target /metrics >/dev/null 2>&1 || true
kill -TERM "$agent_pid"
wait "$agent_pid" || true
agent_pid=""
awk '
  / sent=/ {
    for (i = 2; i <= NF; i++) {
      split($i, kv, "=")
      if (kv[1] == "sent") sent += kv[2]
      if (kv[1] == "received") received += kv[2]
      if (kv[1] == "errors") errors += kv[2]
    }
  }
  END {
    printf "descriptor limit, flood: probes sent %d, received %d, lost %d, could not be made %d\n",
      sent, received, sent - received, errors
  }' "$report"
grep -h "could not be made\|does not resolve" "$report" | head -5 || true
