#!/bin/sh
# The set-up of scripts/setup.sh with the tests and the benchmarks built as
# well (same build folder, same Release program build/quorvel), then every
# test through CTest; then the core (every library without widgets, the
# agent, their tests) once more under AddressSanitizer and
# UndefinedBehaviorSanitizer, in build-asan/; then each fuzzer.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
# Each phase's wall time, printed at the end, so that a slow CI run shows
# where its time went.
times=""
mark=$(date +%s)
phase() {
  now=$(date +%s)
  times="$times$1 $((now - mark)) s; "
  mark=$now
}
"$top/scripts/install-deps.sh" --test
"$top/scripts/setup.sh" -DQUORVEL_BUILD_TESTS=ON -DQUORVEL_BUILD_BENCH=ON
phase "packages and build"
ctest --test-dir "$top/build" --output-on-failure -j "$(nproc)"
phase "tests"
cmake -S "$top" -B "$top/build-asan" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUORVEL_BUILD_WINDOW=OFF -DQUORVEL_BUILD_BENCH=OFF -DQUORVEL_SANITIZE=ON
cmake --build "$top/build-asan" -j "$(nproc)"
phase "sanitizer build"
LSAN_OPTIONS=suppressions="$top/tests/lsan.supp" ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$top/build-asan" --output-on-failure -j "$(nproc)"
phase "sanitizer tests"
# Each fuzz harness for a bounded 30 s (skipped where clang cannot build them).
"$top/scripts/fuzz.sh" --ci
phase "fuzzers"
echo "test.sh: $times"
