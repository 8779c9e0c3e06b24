#!/bin/sh
# Whether quorvel-agent keeps its schedule: TARGETS (200) loopback targets
# (127.1.0.1, ...) at INTERVAL (0.2 s) for RUN (30) seconds. Prints the
# slots of the schedule, the probes made, those the agent reports missed,
# and the probes lost (every target answers: a loss is the agent's own,
# a reply it was too busy to read in time). Loopback only; not part of the
# test run. BUILD_DIR (default build/), AGENT (default BUILD_DIR/quorvel-agent).
# ENGINE (ping) is the agent's --engine: these figures are the ping child's.
set -eu

top=$(cd "$(dirname "$0")/../.." && pwd)
build="${BUILD_DIR:-$top/build}"
agent="${AGENT:-$build/quorvel-agent}"
count="${TARGETS:-200}"
interval="${INTERVAL:-0.2}"
run="${RUN:-30}"
[ -x "$agent" ] || { echo "missing $agent: build the project first"; exit 1; }
ulimit -n 8192 2>/dev/null || true

report=$(mktemp)
trap 'rm -f "$report"' EXIT
targets=""
i=0
while [ "$i" -lt "$count" ]; do
  targets="$targets 127.1.$((i / 250)).$((i % 250 + 1))"
  i=$((i + 1))
done
# shellcheck disable=SC2086 # one word per target
"$agent" --quiet --engine "${ENGINE:-ping}" --interval "$interval" $targets >"$report" 2>&1 &
pid=$!
sleep "$run"
kill -TERM "$pid"
wait "$pid" || true
awk -v slots="$(echo "$count * $run / $interval" | bc)" -v n="$count" -v iv="$interval" -v run="$run" '
  / sent=/ {
    for (i = 2; i <= NF; i++) {
      split($i, kv, "=")
      if (kv[1] == "sent") sent += kv[2]
      if (kv[1] == "received") received += kv[2]
      if (kv[1] == "missed") missed += kv[2]
    }
  }
  END {
    printf "%d targets at %s s for %s s: %d slots, %d probes, %d reported missed, %d lost\n",
      n, iv, run, slots, sent, missed, sent - received
  }' "$report"
