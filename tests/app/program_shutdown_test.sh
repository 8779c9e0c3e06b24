#!/bin/sh
# A close asked for from outside never waits: the program copied alone into
# a folder of its own ends with status 0 soon after SIGTERM, also when its
# settings cannot be written (the error goes to standard error, no box
# waits) and while a ping hangs (the ping is killed, the settings saved).
# A stale temporary file of an interrupted save is removed at the next
# start. Killed outright (SIGKILL), it leaves no ping running behind it.
# Prints how long each exit took.
set -u
program=$1
fakeping=$(cd "$2" && pwd)
bound_ms=${QUORVEL_EXIT_BOUND_MS:-2000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin" "$work/cwd"
cp "$program" "$work/bin/quorvel"
ini="$work/bin/quorvel.ini"
export QT_QPA_PLATFORM=offscreen
export PATH="$fakeping:$PATH"
export FAKE_PING_PIDFILE="$work/ping.pids"
# The stored form of an address: each byte b written as 255 - b.
scramble() {
  printf '%s' "$1" | od -An -v -tu1 | tr -s ' ' '\n' | grep -v '^$' |
    while read -r b; do printf "\\$(printf '%03o' $((255 - b)))"; done
}
url=$(scramble 127.0.0.1)

fail=0
now_ms() { echo $(($(date +%s%N) / 1000000)); }

# start [NAME=value ...]: starts the program with those variables set;
# stderr goes to $work/stderr.
start() {
  (cd "$work/cwd" && exec env "$@" "$work/bin/quorvel") 2>"$work/stderr" &
  pid=$!
}

# stop <what> <wait before the signal, s>: sends SIGTERM, waits for the end
# and checks the status and the time it took.
stop() {
  what=$1
  sleep "$2"
  if ! kill -0 "$pid" 2>/dev/null; then echo "$what: ended before the signal"; fail=1; return; fi
  t0=$(now_ms)
  kill -TERM "$pid"
  status=124
  while :; do
    if ! kill -0 "$pid" 2>/dev/null; then wait "$pid"; status=$?; break; fi
    if [ $(($(now_ms) - t0)) -gt 15000 ]; then break; fi
    sleep 0.02
  done
  took=$(($(now_ms) - t0))
  if [ "$status" -eq 124 ]; then
    kill -9 "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
    echo "$what: still running 15 s after SIGTERM"; fail=1; return
  fi
  echo "$what: exit status $status after $took ms"
  if [ "$status" -ne 0 ]; then fail=1; fi
  if [ "$took" -gt "$bound_ms" ]; then echo "$what: slower than $bound_ms ms"; fail=1; fi
}

check_pings_gone() {
  if [ ! -s "$FAKE_PING_PIDFILE" ]; then echo "$1: the ping never ran"; fail=1; return; fi
  while read -r ping; do
    if kill -0 "$ping" 2>/dev/null; then echo "$1: ping $ping still running"; kill -9 "$ping"; fail=1; fi
  done < "$FAKE_PING_PIDFILE"
  rm -f "$FAKE_PING_PIDFILE"
}

# 1. The settings file cannot be written: a folder stands where it should be.
rm -rf "$ini"; mkdir -p "$ini/inside"
start
stop "unwritable settings" 1.5
if ! grep -q "^quorvel: Unable to write to $ini\$" "$work/stderr"; then
  echo "unwritable settings: no error on standard error:"; cat "$work/stderr"; fail=1
fi
[ -d "$ini/inside" ] || { echo "unwritable settings: the folder was replaced"; fail=1; }
rm -rf "$ini"

# 2. A run resumed at start whose first ping hangs: the signal comes while
#    the window is still being created.
printf '[Plotter]\nRun=1\nTime=1\nIgnore=0\nURL=%s\n' "$url" > "$ini"
start FAKE_PING_MODE=hang
stop "ping hanging at start" 1.5
check_pings_gone "ping hanging at start"
grep -q '^Run=1$' "$ini" || { echo "ping hanging at start: Run=1 not saved"; cat "$ini"; fail=1; }
grep -q '^Points=400$' "$ini" || { echo "ping hanging at start: settings not saved"; fail=1; }
[ -f "$work/bin/quorvel.html" ] && { echo "ping hanging at start: help document left"; fail=1; }

# 3. A later tick's ping hangs, the window shown and plotting.
printf 'reply 1.5\nhang\n' > "$work/script"
rm -f "$work/script.state"
printf '[Plotter]\nRun=1\nTime=1\nIgnore=0\nURL=%s\n' "$url" > "$ini"
start FAKE_PING_SCRIPT="$work/script"
stop "ping hanging in a tick" 2.5
check_pings_gone "ping hanging in a tick"
grep -q '^Run=1$' "$ini" || { echo "ping hanging in a tick: Run=1 not saved"; fail=1; }
grep -q '^CCount=0$' "$ini" || { echo "ping hanging in a tick: the started address not saved"; fail=1; }

# 4. Temporaries of interrupted saves: those of a process that is gone, or
#    old, go at the next start; a fresh one of a running process stays.
rm -f "$ini"
touch "$work/bin/.quorvel.ini.tmp999999999-0"
touch -d '2 hours ago' "$work/bin/.quorvel.ini.tmp1-0"
touch "$work/bin/.quorvel.ini.tmp1-7"
start
stop "stale temporaries" 1.5
for f in .quorvel.ini.tmp999999999-0 .quorvel.ini.tmp1-0; do
  [ -e "$work/bin/$f" ] && { echo "stale temporary $f not removed"; fail=1; }
done
[ -e "$work/bin/.quorvel.ini.tmp1-7" ] || { echo "a fresh temporary of a running process was removed"; fail=1; }

# 5. SIGKILL while a ping hangs: the ping ends with the program.
rm -f "$FAKE_PING_PIDFILE"
printf '[Plotter]\nRun=1\nTime=1\nIgnore=0\nURL=%s\n' "$url" > "$ini"
start FAKE_PING_MODE=hang
i=0
until [ -s "$FAKE_PING_PIDFILE" ] || [ $i -ge 100 ]; do i=$((i + 1)); sleep 0.1; done
if [ ! -s "$FAKE_PING_PIDFILE" ]; then
  echo "killed outright: the ping never ran"; fail=1
else
  kill -KILL "$pid"; wait "$pid" 2>/dev/null
  sleep 1
  left=0
  while read -r ping; do
    # Gone, or a zombie not yet reaped: either way no longer running.
    state=$(sed -n 's/^.*) \(.\).*$/\1/p' "/proc/$ping/stat" 2>/dev/null)
    if [ -n "$state" ] && [ "$state" != Z ] && [ "$state" != X ]; then
      echo "killed outright: ping $ping still running"; kill -9 "$ping"; left=1; fail=1
    fi
  done < "$FAKE_PING_PIDFILE"
  [ "$left" -eq 0 ] && echo "killed outright: no ping left running"
fi

if [ -n "$(ls -A "$work/cwd")" ]; then echo "files written to the working directory"; fail=1; fi
[ "$fail" -eq 0 ] && echo "ok"
exit "$fail"
