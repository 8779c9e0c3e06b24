#!/bin/sh
# How long quorvel-agent takes to end after SIGTERM, with TARGETS (1000)
# loopback targets (127.1.0.1, 127.1.0.2, ...) at INTERVAL (1 s), stopped
# after RUN (10) seconds, ROUNDS (3) times; prints each stop time and the
# ping children left behind. With HANG=1 the fake ping (tests/fakeping)
# stands in for ping and never answers, so that every target has a child
# to kill at the stop. ENGINE (auto) is the agent's --engine (HANG=1 makes
# it ping). Loopback only; not part of the test run.
# BUILD_DIR (default build/), AGENT (default BUILD_DIR/quorvel-agent).
set -eu

top=$(cd "$(dirname "$0")/../.." && pwd)
build="${BUILD_DIR:-$top/build}"
agent="${AGENT:-$build/quorvel-agent}"
count="${TARGETS:-1000}"
interval="${INTERVAL:-1}"
run="${RUN:-10}"
rounds="${ROUNDS:-3}"
engine="${ENGINE:-auto}"
[ -x "$agent" ] || { echo "missing $agent: build the project first"; exit 1; }
if [ "${HANG:-0}" = 1 ]; then
  PATH="$top/tests/fakeping:$PATH" FAKE_PING_MODE=hang
  export PATH FAKE_PING_MODE
  engine=ping
fi
ulimit -n 8192 2>/dev/null || true

targets=""
i=0
while [ "$i" -lt "$count" ]; do
  targets="$targets 127.1.$((i / 250)).$((i % 250 + 1))"
  i=$((i + 1))
done
now() { date +%s%N; }
round=1
while [ "$round" -le "$rounds" ]; do
  # shellcheck disable=SC2086 # one word per target
  "$agent" --quiet --engine "$engine" --interval "$interval" $targets >/dev/null 2>&1 &
  pid=$!
  sleep "$run"
  start=$(now)
  kill -TERM "$pid"
  wait "$pid" || true
  end=$(now)
  left=$(ps -eo ppid=,comm= | awk -v p="$pid" '$1 == p' | wc -l)
  echo "$count targets at $interval s ($engine): stopped $(( (end - start) / 1000000 )) ms after SIGTERM, $left children left"
  round=$((round + 1))
done
