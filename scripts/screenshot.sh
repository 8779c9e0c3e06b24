#!/bin/sh
# Builds the program and its screenshot drivers, starts the main window under
# a virtual X display (Xvfb) and saves pictures of it into docs/:
#   docs/screenshot.png         forty pings at one-second intervals of a target
#                               in the simulated network (quorvel-netsim with
#                               tests/netsim/scenarios/screenshot.json: 18 to
#                               40 ms, 2 % loss), as on a real network
#   docs/screenshot-dark.png    a dark desktop palette: the "Graph Style"
#                               settings after a run stopped at its page limit
#   docs/screenshot-distribution.png  twenty pings in the distribution view
#   docs/screenshot-scale2.png  the graph on a screen of scale factor 2
#   docs/screenshot-precise.png twenty loopback pings in the Precise Scale view
#   docs/screenshot-dark-chart.png  the same under a dark palette, the graph
#                               following the desktop's colours
# Needs the packages of install-deps.sh --test (xvfb, xauth, nlohmann-json)
# and root for the simulator's network namespace; pings go to loopback or to
# the simulated target inside that namespace only.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
else
  cmake -S "$top" -B "$build" -DQUORVEL_BUILD_TESTS=ON > /dev/null  # the driver lives with the tests
fi
cmake --build "$build" --target quorvel_screenshot_driver netsim_screenshot_driver quorvel-netsim \
  -j "$(nproc)"
mkdir -p "$top/docs"
driver="$build/tests/app/quorvel_screenshot_driver"
[ -x "$driver" ] || driver="$build/quorvel_screenshot_driver"

# The simulator runs the display and the window in its own network namespace
# (seed 12: one of the forty pings is lost).
"$build/quorvel-netsim" --scenario "$top/tests/netsim/scenarios/screenshot.json" --seed 12 -- \
  env QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" \
  "$build/tests/netsim/netsim_screenshot_driver" "$top/docs/screenshot.png" 40
echo "saved $top/docs/screenshot.png"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" "$driver" "$top/docs/screenshot-dark.png" dark
echo "saved $top/docs/screenshot-dark.png"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" "$driver" \
  "$top/docs/screenshot-distribution.png" distribution
echo "saved $top/docs/screenshot-distribution.png"
QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=2 xvfb-run -a -s "-screen 0 2048x1280x24" \
  "$driver" "$top/docs/screenshot-scale2.png"
echo "saved $top/docs/screenshot-scale2.png"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" "$driver" "$top/docs/screenshot-precise.png" precise
echo "saved $top/docs/screenshot-precise.png"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" "$driver" \
  "$top/docs/screenshot-dark-chart.png" darkchart
echo "saved $top/docs/screenshot-dark-chart.png"
