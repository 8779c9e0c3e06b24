#!/bin/sh
# The install rule of the program and of quorvel-agent, in a small project
# whose agent target is added by a subdirectory after the rules were set up:
# both programs are installed.
#   install_agent_test.sh <source folder of Quorvel>
set -u
top=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake -S "$top/tests/app/install_agent" -B "$work/build" -DQUORVEL_CMAKE_DIR="$top/cmake" > "$work/log" 2>&1 &&
  cmake --build "$work/build" > "$work/log" 2>&1 &&
  DESTDIR="$work/root" cmake --install "$work/build" --prefix /usr > "$work/log" 2>&1 || { cat "$work/log"; exit 1; }
found=$(cd "$work/root/usr" && find . -type f | sort | tr '\n' ' ')
if [ "$found" != "./bin/quorvel ./bin/quorvel-agent " ]; then echo "installed: $found"; exit 1; fi
echo "ok"
