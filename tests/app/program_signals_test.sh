#!/bin/sh
# The program copied alone into a folder of its own starts there, writes
# nothing into its working directory, and ends with status 0 when asked to
# close by SIGTERM, SIGINT or SIGHUP, also while a message box is open: its
# settings file is written beside it and its help document removed.
set -u
program=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin" "$work/cwd"
cp "$program" "$work/bin/quorvel"
export QT_QPA_PLATFORM=offscreen

fail=0
# Starts the program, waits, sends the signal and checks how it ended.
run() {
  sig=$1
  what=$2
  helpWhileRunning=${3:-yes}
  (cd "$work/cwd" && exec "$work/bin/quorvel") 2>/dev/null &
  pid=$!
  sleep 1.5
  if [ "$helpWhileRunning" = yes ] && [ ! -f "$work/bin/quorvel.html" ]; then
    echo "$what: no help document while running"; fail=1
  fi
  kill -s "$sig" "$pid"
  status=124
  for _ in $(seq 1 100); do
    if ! kill -0 "$pid" 2>/dev/null; then wait "$pid"; status=$?; break; fi
    sleep 0.1
  done
  if [ "$status" -eq 124 ]; then kill -9 "$pid" 2>/dev/null; echo "$what: still running after 10 s"; fail=1; return; fi
  if [ "$status" -ne 0 ]; then echo "$what: exit status $status"; fail=1; fi
  if [ ! -f "$work/bin/quorvel.ini" ]; then echo "$what: no settings file written"; fail=1; fi
  if [ -f "$work/bin/quorvel.html" ]; then echo "$what: help document left behind"; fail=1; fi
}

for sig in TERM INT HUP; do
  rm -f "$work/bin/quorvel.ini"
  run "$sig" "SIG$sig"
done

# A colour that cannot be read opens a message box while the settings are
# loaded (before the help document is written); the signal must not wait
# for the box to be answered.
printf '[Plotter]\nBack=no-such-colour\n' > "$work/bin/quorvel.ini"
run TERM "SIGTERM with a message box open" no
if ! grep -q '^Back=clWhite' "$work/bin/quorvel.ini"; then
  echo "the unreadable colour was not saved as its default"; fail=1
fi

if [ -n "$(ls -A "$work/cwd")" ]; then echo "files written to the working directory:"; ls -A "$work/cwd"; fail=1; fi
[ "$fail" -eq 0 ] && echo "ok"
exit "$fail"
