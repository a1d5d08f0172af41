#!/usr/bin/env bash
# Builds the bench preset and runs the descriptor-search benchmark; the last
# lines are the ratios "ratio <image> = X" (search time over one memchr pass).
# Usage: bench/run.sh [build-dir] [benchmark options, e.g. --benchmark_filter=realistic]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/bench}"
shift || true
cmake --preset bench -B "$build" >/dev/null
cmake --build "$build" -j2 --target vossel_descriptor_search_bench
"$build/bench/vossel_descriptor_search_bench" "$@"
