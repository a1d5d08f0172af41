#!/bin/bash
# Builds everything and runs every test: the portable core natively under
# AddressSanitizer/UBSan with its fuzz targets, the Windows x86_64 build under
# Wine (in-process and end-to-end), and the i686 build's export tables.
set -u
cd "$(dirname "$0")/.."
bash scripts/setup.sh || exit 1

jobs=$(nproc)
total_passed=0
total_failed=0
status=0

# run_preset NAME: configure, build and test one preset; a failed build counts
# as a failure of that preset.
run_preset() {
  local preset=$1 log
  echo "=== $preset: configure and build"
  if ! cmake --preset "$preset" >"build/$preset.log" 2>&1 ||
     ! cmake --build --preset "$preset" -j"$jobs" >>"build/$preset.log" 2>&1; then
    tail -n 60 "build/$preset.log"
    echo "=== $preset: build FAILED (log: build/$preset.log)"
    total_failed=$((total_failed + 1))
    status=1
    return
  fi
  echo "=== $preset: test"
  log=$(mktemp)
  ctest --preset "$preset" -j"$jobs" 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  local line
  line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -n "$line" ]; then
    local failed out_of
    failed=$(echo "$line" | sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/')
    out_of=$(echo "$line" | sed -E 's/.* failed out of ([0-9]+).*/\1/')
    total_failed=$((total_failed + failed))
    total_passed=$((total_passed + out_of - failed))
  else
    total_failed=$((total_failed + 1))
  fi
  rm -f "$log"
  [ "$rc" -eq 0 ] || status=1
}

mkdir -p build
start=$(date +%s)
run_preset native
run_preset win64
run_preset win32
echo "=== wall time: $(( $(date +%s) - start )) s"
echo "${total_passed} passed, ${total_failed} failed"
exit $status
