#!/bin/sh
# Installs what is missing, then configures build/ for a Release build of
# the program alone (no tests, no benchmarks) and builds it: build/quorvel.
# Arguments are passed on to the CMake configure step, where they override
# these choices (scripts/test.sh turns the tests and benchmarks back on in
# the same build folder, so running one script after the other rebuilds
# nothing of the program).
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
cmake -S "$top" -B "$top/build" -DCMAKE_BUILD_TYPE=Release \
  -DQUORVEL_BUILD_TESTS=OFF -DQUORVEL_BUILD_BENCH=OFF "$@"
cmake --build "$top/build" -j "$(nproc)"
