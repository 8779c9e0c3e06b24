#!/bin/sh
# Shows quorvel-agent feeding a real Prometheus, on this machine only: starts
# build/quorvel-agent with the system ping against 127.0.0.1 and ::1 and its
# metrics on 127.0.0.1:9190, starts Prometheus on 127.0.0.1 with the scrape
# configuration docs/prometheus.yml, waits until Prometheus has scraped the
# agent twice, then asks Prometheus' HTTP API for quorvel_requests_total and
# prints the answer. Both programs are stopped at the end. Not run by CI.
#
# Needs the build (scripts/setup.sh) and the Debian package prometheus
# (scripts/install-deps.sh). PROMETHEUS_PORT sets Prometheus' own port
# (default 9090).
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
agent="$top/build/quorvel-agent"
config="$top/docs/prometheus.yml"
port=${PROMETHEUS_PORT:-9090}
server="http://127.0.0.1:$port"

if [ ! -x "$agent" ]; then echo "no $agent: run scripts/setup.sh first" >&2; exit 1; fi
for tool in prometheus promtool; do
  if ! command -v "$tool" > /dev/null; then echo "no $tool: run scripts/install-deps.sh" >&2; exit 1; fi
done

work=$(mktemp -d)
agent_pid=""
prometheus_pid=""
cleanup() {
  if [ -n "$prometheus_pid" ]; then kill "$prometheus_pid" 2> /dev/null || true; wait "$prometheus_pid" 2> /dev/null || true; fi
  if [ -n "$agent_pid" ]; then kill "$agent_pid" 2> /dev/null || true; wait "$agent_pid" 2> /dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

echo "starting: quorvel-agent --quiet --listen 127.0.0.1:9190 127.0.0.1 ::1"
"$agent" --quiet --listen 127.0.0.1:9190 127.0.0.1 ::1 > "$work/agent.txt" 2>&1 &
agent_pid=$!
echo "starting: prometheus --config.file=docs/prometheus.yml --web.listen-address=127.0.0.1:$port"
prometheus --config.file="$config" --storage.tsdb.path="$work/data" \
  --web.listen-address="127.0.0.1:$port" > "$work/prometheus.log" 2>&1 &
prometheus_pid=$!

# Two successful scrapes: the sum of "up" over the last minute reaches 2.
scrapes=0
for _ in $(seq 1 60); do
  if ! kill -0 "$prometheus_pid" 2> /dev/null; then
    echo "prometheus ended:" >&2; tail -5 "$work/prometheus.log" >&2; exit 1
  fi
  if ! kill -0 "$agent_pid" 2> /dev/null; then
    echo "quorvel-agent ended:" >&2; cat "$work/agent.txt" >&2; exit 1
  fi
  answer=$(promtool query instant "$server" 'sum_over_time(up{job="quorvel"}[1m])' 2> /dev/null || true)
  scrapes=$(printf '%s\n' "$answer" | sed -n 's/.*=> \([0-9]*\) @.*/\1/p' | head -1)
  if [ -n "$scrapes" ] && [ "$scrapes" -ge 2 ]; then break; fi
  sleep 1
done
if [ -z "$scrapes" ] || [ "$scrapes" -lt 2 ]; then
  echo "Prometheus did not scrape the agent twice within a minute" >&2; exit 1
fi
echo "Prometheus has scraped the agent $scrapes times."
echo
echo "quorvel_requests_total, through $server/api/v1/query:"
promtool query instant "$server" 'quorvel_requests_total'
echo
echo "the same as JSON:"
promtool query instant -o json "$server" 'quorvel_requests_total'
echo
