#!/bin/sh
# The set-up of scripts/setup.sh with the tests and the benchmarks built as
# well (same build folder, same Release program build/quorvel), then every
# test through CTest.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh" --test
"$top/scripts/setup.sh" -DQUORVEL_BUILD_TESTS=ON -DQUORVEL_BUILD_BENCH=ON
ctest --test-dir "$top/build" --output-on-failure -j "$(nproc)"
# Each fuzz harness for a bounded 30 s (skipped where clang cannot build them).
"$top/scripts/fuzz.sh" --ci
