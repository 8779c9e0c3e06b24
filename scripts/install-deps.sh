#!/bin/sh
# Installs the Debian 12 packages that building and running the program
# need; with --test first, also those the tests need (the test build, the
# virtual display, the install validators, the fuzzers, Prometheus' checker,
# the JSON reader of the network simulator and the ICMP tests, route set-up,
# fping for the ICMP benchmark, the browser that loads the web pages, the
# session bus of the notification test); then any package named on the
# command line. Packages already present are
# skipped. Run as root (or with sudo available).
set -eu

packages="
  cmake g++ make pkg-config
  qt6-base-dev qt6-svg-dev libgl-dev
  libboost-dev libjpeg62-turbo-dev zlib1g-dev
  fonts-liberation2 iputils-ping
"
if [ "${1:-}" = "--test" ]; then
  shift
  packages="$packages
  libgtest-dev libgmock-dev python3
  xvfb xauth
  desktop-file-utils appstream groff-base
  clang libclang-rt-14-dev llvm-14
  prometheus nlohmann-json3-dev iproute2 fping
  chromium dbus-daemon
"
fi
packages="$packages $*"

missing=""
for p in $packages; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done

if [ -n "$missing" ]; then
  echo "Installing:$missing"
  run=""
  if [ "$(id -u)" -ne 0 ]; then run="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $run apt-get update
  # shellcheck disable=SC2086
  $run apt-get install -y --no-install-recommends $missing
fi
