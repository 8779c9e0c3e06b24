#!/bin/sh
# Installs what the benchmarks in bench/ need beyond the build and the tests:
# the reference libraries, the load generator and the reference web server
# they measure against.
set -eu
exec "$(dirname "$0")/install-deps.sh" --test libpng-dev libgif-dev libjpeg-turbo-progs wrk nginx-light curl
