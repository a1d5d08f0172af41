#!/bin/bash
# The main job: builds the x86_64 binaries, lays out the engine with the
# simulated flash driver and its board in build/demo, and runs the engine
# there under Wine, printing what it reports about the board.
set -eu
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset win64 >build/win64-configure.log 2>&1 || { mkdir -p build; cmake --preset win64; }
cmake --build --preset win64 -j"$(nproc)" --target Vossel flash boardinfo

demo=build/demo
mkdir -p "$demo"
cp build/win64/bin/Vossel.dll build/win64/bin/flash.dll build/win64/bin/boardinfo.exe "$demo/"
cp demo/flashsim.ini "$demo/"

# Wine wants a display for the engine's message boxes: the caller's, or an
# Xvfb of our own for the duration of the run.
started_display=0
if [ -z "${DISPLAY:-}" ]; then
  cmake/display-fixture.sh start build/win64 >/dev/null
  started_display=1
fi
trap '[ $started_display -eq 1 ] && cmake/display-fixture.sh stop build/win64 >/dev/null' EXIT

echo "--- the engine on the simulated board ($demo)"
build/win64/wine-run "$demo/boardinfo.exe"
echo "--- what the engine asked of the driver ($demo/flashsim.log)"
tail -n 20 "$demo/flashsim.log"
