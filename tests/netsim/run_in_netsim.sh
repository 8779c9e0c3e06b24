#!/bin/sh
# run_in_netsim.sh NETSIM SCENARIO TRUTH COMMAND [ARGS...]
# Runs a test program inside the simulated network. Where the simulator
# cannot make its network here, the test is skipped (status 77) with the
# simulator's message; with QUORVEL_REQUIRE_NETSIM=1 (as in CI) it fails.
netsim=$1 scenario=$2 truth=$3
shift 3
if ! why=$("$netsim" --check 2>&1); then
  echo "$why" >&2
  if [ "${QUORVEL_REQUIRE_NETSIM:-}" = 1 ]; then
    echo "QUORVEL_REQUIRE_NETSIM=1: the simulated network is required" >&2
    exit 1
  fi
  echo "skipped: $why"
  exit 77
fi
mkdir -p "$(dirname "$truth")"
# A raised priority for the program and its ping children (the simulator
# raises its own): on a machine busy with builds, a ping preempted between
# its time stamp and its send would add milliseconds of the machine's own
# to what the test measures.
nice=""
if [ "$(id -u)" = 0 ]; then nice="nice -n -10"; fi
exec $nice "$netsim" --scenario "$scenario" --truth "$truth" -- "$@"
