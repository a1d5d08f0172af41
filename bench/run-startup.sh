#!/usr/bin/env bash
# Builds the win64 preset's start-up benchmarks and runs both under Wine, in
# the build tree's Wine prefix and display:
#   vossel_startup_bench  Kestrom.exe to its first painted main window against
#                         a bare dialog of the same size: "ratio kestrom/bare"
#                         and "ratio kestrom-without-consent/bare"
#   vossel_cli_bench      vossel.exe info and check against a bare program
#                         that loads the engine: "ratio info/bare" and
#                         "ratio check/bare"
# Usage: bench/run-startup.sh [build-dir] [benchmark options, e.g. --runs 15]
#   e.g. bench/run-startup.sh               (build/win64, 7 rounds)
#        bench/run-startup.sh /tmp/b --runs 3
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/wine-bench.sh "$@"
wine_bench_build vossel_startup_bench vossel_cli_bench
wine_bench_display
"$build/wine-run" "$build/bin/vossel_startup_bench.exe" "${bench_args[@]}"
"$build/wine-run" "$build/bin/vossel_cli_bench.exe" "${bench_args[@]}"
