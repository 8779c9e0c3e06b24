#!/bin/sh
# Where the program keeps its files, run as an unprivileged user (root
# writes into read-only folders, so as root the runs go through setpriv as
# nobody; the test is skipped where that cannot be done):
#  - from a folder it may not write: the settings go to
#    ~/.config/quorvel/quorvel.ini and stay there between starts, the help
#    document lives in $XDG_RUNTIME_DIR while the program runs, and nothing
#    is reported on standard error;
#    the capture folder is the user's Pictures folder and the settings
#    file is the user's alone (0600);
#  - from a writable folder: both beside the program, nothing per-user.
# Also: --help and --version print to standard output and end with status 0
# without any window system.
#   program_readonly_test.sh <program>
set -u
program=$1
skip=77

if [ "$(id -u)" -eq 0 ]; then
  if ! command -v setpriv >/dev/null || ! id nobody >/dev/null 2>&1; then
    echo "skipped: no setpriv or no user nobody to run as"; exit "$skip"
  fi
  group=$(id -gn nobody)
  # Replaces the calling (sub)shell, so that a program started in the
  # background keeps the id the shell reports.
  as_user() { exec setpriv --reuid=nobody --regid="$group" --clear-groups -- "$@"; }
  owner=nobody
else
  as_user() { exec "$@"; }
  owner=$(id -un)
fi

work=$(mktemp -d)
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
chmod 755 "$work"
mkdir "$work/ro" "$work/rw" "$work/home" "$work/runtime" "$work/cwd"
cp "$program" "$work/ro/quorvel"
cp "$program" "$work/rw/quorvel"
chmod 755 "$work/ro/quorvel" "$work/rw/quorvel"
mkdir "$work/home/Pictures"
chmod 700 "$work/home" "$work/runtime"
if [ "$owner" = nobody ]; then chown -R nobody "$work/home" "$work/runtime" "$work/rw" "$work/cwd"; fi
chmod 555 "$work/ro"
if (as_user sh -c "touch '$work/ro/probe'") 2>/dev/null; then
  echo "skipped: the read-only folder can be written by this user"; exit "$skip"
fi

cd "$work/cwd" || exit 1
config="$work/home/.config/quorvel/quorvel.ini"
fail=0
say() { echo "$*"; fail=1; }

# run <folder> <what to check while it runs>: starts the program from that
# folder as the user, runs the check, closes it with SIGTERM.
run() {
  folder=$1
  as_user env -u XDG_CONFIG_HOME HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" \
    QT_QPA_PLATFORM=offscreen "$folder/quorvel" 2>"$work/stderr" &
  pid=$!
  sleep 2
  eval "$2"
  kill -TERM "$pid"
  i=0
  while kill -0 "$pid" 2>/dev/null && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
  if kill -0 "$pid" 2>/dev/null; then kill -9 "$pid"; say "$folder: still running 10 s after SIGTERM"; fi
  wait "$pid"; status=$?
  [ "$status" -eq 0 ] || say "$folder: exit status $status"
  if grep -q '^quorvel:' "$work/stderr"; then say "$folder: reported:"; cat "$work/stderr"; fi
}

# Read-only folder: a first start, then a setting changed in the file by
# hand survives the next start and close.
run "$work/ro" '[ -f "$work/runtime/quorvel.html" ] || say "read-only: no help document in the runtime folder"'
[ -f "$config" ] || say "read-only: no settings file in ~/.config/quorvel"
[ -e "$work/ro/quorvel.ini" ] && say "read-only: a settings file beside the program"
[ -e "$work/runtime/quorvel.html" ] && say "read-only: the help document was left behind"
grep -qx "Folder=$work/home/Pictures" "$config" || say "read-only: the capture folder is not ~/Pictures"
[ "$(stat -c %a "$config")" = 600 ] || say "read-only: the settings file is $(stat -c %a "$config"), not 600"
if [ -f "$config" ]; then
  sed -i 's/^Time=10$/Time=42/' "$config"
  run "$work/ro" ':'
  grep -q '^Time=42$' "$config" || say "read-only: the setting did not survive a start"
fi

# Writable folder: everything beside the program, as always.
rm -rf "$work/home/.config"
run "$work/rw" '[ -f "$work/rw/quorvel.html" ] || say "writable: no help document beside the program"'
[ -f "$work/rw/quorvel.ini" ] || say "writable: no settings file beside the program"
[ -e "$work/home/.config/quorvel" ] && say "writable: a per-user settings folder was made"
[ -e "$work/rw/quorvel.html" ] && say "writable: the help document was left behind"
[ "$(stat -c %a "$work/rw/quorvel.ini")" = 600 ] || say "writable: the settings file is not 600"
grep -qx "Folder=$work/rw" "$work/rw/quorvel.ini" || say "writable: the capture folder is not the program's"

# --help and --version need no window system at all.
for option in --help --version; do
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$work/rw/quorvel" "$option" 2>"$work/stderr")
  status=$?
  [ "$status" -eq 0 ] || say "$option: exit status $status"
  [ -s "$work/stderr" ] && { say "$option wrote to standard error:"; cat "$work/stderr"; }
  case "$option" in
    --help) case "$out" in "Usage: quorvel [ADDRESS]"*) ;; *) say "--help printed: $out" ;; esac ;;
    --version) [ "$out" = "Quorvel 1.2" ] || say "--version printed: $out" ;;
  esac
done

[ "$fail" -eq 0 ] && echo "ok"
exit "$fail"
