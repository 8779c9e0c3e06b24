#!/bin/sh
# Builds the program and its screenshot driver, starts the main window under
# a virtual X display (Xvfb), plots a few pings of 127.0.0.1 at one-second
# intervals and saves the window to docs/screenshot.png. Needs the packages
# of install-deps.sh (xvfb, xauth); pings go to loopback only.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" --target quorvel_screenshot_driver -j "$(nproc)"
mkdir -p "$top/docs"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" \
  "$build/quorvel_screenshot_driver" "$top/docs/screenshot.png"
echo "saved $top/docs/screenshot.png"
