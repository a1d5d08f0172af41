#!/usr/bin/env bash
# Builds the win64 preset's flash I/O benchmark and runs it under Wine: one
# line per operation with its median, then "ratio save/copy = ..." and
# "ratio write/copy = ...".
# Usage: bench/run-flash-io.sh [build-dir] [benchmark options, e.g. --runs 15]
#   e.g. bench/run-flash-io.sh               (build/win64, 7 runs)
#        bench/run-flash-io.sh /tmp/b --runs 3
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/wine-bench.sh "$@"
wine_bench_build vossel_flash_io_bench
wine_bench_display  # the engine's message boxes need a display
"$build/wine-run" "$build/bin/vossel_flash_io_bench.exe" "${bench_args[@]}"
