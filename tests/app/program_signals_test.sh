#!/bin/sh
# The program copied alone into a folder of its own starts there, writes
# nothing into its working directory, and leaves with status 0 when asked to
# close by SIGTERM, SIGINT or SIGHUP.
set -u
program=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin" "$work/cwd"
cp "$program" "$work/bin/quorvel"
export QT_QPA_PLATFORM=offscreen

fail=0
for sig in TERM INT HUP; do
  (cd "$work/cwd" && exec "$work/bin/quorvel") &
  pid=$!
  sleep 1.5
  kill -s "$sig" "$pid"
  status=124
  for _ in $(seq 1 100); do
    if ! kill -0 "$pid" 2>/dev/null; then wait "$pid"; status=$?; break; fi
    sleep 0.1
  done
  if [ "$status" -eq 124 ]; then kill -9 "$pid" 2>/dev/null; echo "SIG$sig: still running after 10 s"; fail=1; continue; fi
  if [ "$status" -ne 0 ]; then echo "SIG$sig: exit status $status"; fail=1; fi
done
if [ -n "$(ls -A "$work/cwd")" ]; then echo "files written to the working directory:"; ls -A "$work/cwd"; fail=1; fi
[ "$fail" -eq 0 ] && echo "ok"
exit "$fail"
