#!/bin/sh
# Builds the fuzz harnesses of tests/fuzz/ with clang into build-fuzz/ and
# runs them.
#
#   scripts/fuzz.sh --ci                 each harness for 30 s through CTest,
#                                        two at a time (what CI runs); skipped
#                                        where clang cannot link libFuzzer
#   scripts/fuzz.sh [SECONDS] [NAME...]  each harness (or those named) for
#                                        SECONDS (default 600), two at a time
#   scripts/fuzz.sh --merge [NAME...]    adds the inputs found so far that
#                                        widen coverage to the seed corpora
#
# New inputs are kept in build-fuzz/work/<name>/ (the corpora in the
# repository are only read); a failing input is left in build-fuzz/artifacts/
# and the run ends with an error.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build-fuzz"
all="httpdecode requesthandler beastparser inifile settingvalues pingadapter logoptions alertrule"
cxx=${CXX_FUZZ:-clang++}

mode=run
seconds=600
case "${1:-}" in
  --ci) mode=ci; seconds=30; shift ;;
  --merge) mode=merge; shift ;;
  [0-9]*) seconds=$1; shift ;;
esac
names=${*:-$all}

# clang and its libFuzzer runtime, or nothing to do.
probe=$(mktemp -d)
printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' \
  > "$probe/probe.cpp"
if ! command -v "$cxx" >/dev/null 2>&1 ||
   ! "$cxx" -fsanitize=fuzzer,address,undefined "$probe/probe.cpp" -o "$probe/probe" >/dev/null 2>&1; then
  rm -rf "$probe"
  echo "fuzz: $cxx with libFuzzer is not available; fuzzing skipped (scripts/install-deps.sh installs it)"
  exit 0
fi
rm -rf "$probe"

cmake -S "$top/tests/fuzz" -B "$build" -DCMAKE_CXX_COMPILER="$cxx" \
  -DQUORVEL_FUZZ_SECONDS="$seconds" >/dev/null
cmake --build "$build" -j "$(nproc)"
symbolizer=$(command -v llvm-symbolizer || command -v llvm-symbolizer-14 || true)
if [ -n "$symbolizer" ]; then export ASAN_SYMBOLIZER_PATH="$symbolizer"; fi

if [ "$mode" = ci ]; then
  exec ctest --test-dir "$build" --output-on-failure -j 2
fi

if [ "$mode" = merge ]; then
  for name in $names; do
    mkdir -p "$build/work/$name"
    "$build/fuzz_$name" -merge=1 "$top/tests/fuzz/corpus/$name" "$build/work/$name"
  done
  exit 0
fi

# One harness: its figures go to build-fuzz/logs/<name>.log.
run_one() {
  name=$1
  dict="$top/tests/fuzz/dict/$name.dict"
  set -- -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build/artifacts/$name-"
  if [ -f "$dict" ]; then set -- "$@" -dict="$dict"; fi
  mkdir -p "$build/work/$name" "$build/artifacts" "$build/logs"
  if "$build/fuzz_$name" "$@" "$build/work/$name" "$top/tests/fuzz/corpus/$name" \
      > "$build/logs/$name.log" 2>&1; then
    status=ok
  else
    status=FAILED
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$build/logs/$name.log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$build/logs/$name.log")
  echo "$name: $status, ${runs:-?} inputs in ${seconds} s (${rate:-?}/s)"
  [ "$status" = ok ]
}

failed=0
set -- $names
while [ $# -gt 0 ]; do
  first=$1; shift
  if [ $# -gt 0 ]; then
    second=$1; shift
    run_one "$first" & pid=$!
    run_one "$second" || failed=1
    wait "$pid" || failed=1
  else
    run_one "$first" || failed=1
  fi
done
if [ "$failed" -ne 0 ]; then
  echo "fuzz: a harness failed; see build-fuzz/logs/ and build-fuzz/artifacts/" >&2
  exit 1
fi
