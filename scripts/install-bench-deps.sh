#!/bin/sh
# Installs what the benchmarks in bench/ need beyond the build and the tests:
# the reference libraries and tools they measure against.
set -eu
exec "$(dirname "$0")/install-deps.sh" libpng-dev libgif-dev libjpeg-turbo-progs
