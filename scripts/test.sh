#!/bin/sh
# Set-up as for running, then every test through CTest.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
ctest --test-dir "$top/build" --output-on-failure -j "$(nproc)"
# Each fuzz harness for a bounded 30 s (skipped where clang cannot build them).
"$top/scripts/fuzz.sh" --ci
