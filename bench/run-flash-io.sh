#!/usr/bin/env bash
# Builds the win64 preset's flash I/O benchmark and runs it under Wine: one
# line per operation with its median, then "ratio save/copy = ..." and
# "ratio write/copy = ...".
# Usage: bench/run-flash-io.sh [build-dir] [benchmark options, e.g. --runs 15]
#   e.g. bench/run-flash-io.sh               (build/win64, 7 runs)
#        bench/run-flash-io.sh /tmp/b --runs 3
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/win64
if [ $# -gt 0 ] && [ "${1#--}" = "$1" ]; then
  build=$1
  shift
fi
cmake --preset win64 -B "$build" >/dev/null
cmake --build "$build" -j2 --target vossel_flash_io_bench
# The build tree's Wine prefix, and an Xvfb of its own unless DISPLAY is set,
# as the tests get them (the engine's message boxes need a display).
cmake/display-fixture.sh start "$build" >/dev/null
trap 'cmake/display-fixture.sh stop "$build" >/dev/null' EXIT
"$build/wine-run" "$build/bin/vossel_flash_io_bench.exe" "$@"
