#!/bin/bash
# The main job: builds the x86_64 binaries, lays out build/demo with Kestrom,
# the engine, the simulated flash driver and its board, serves a catalogue and
# two images for that board from a local FTP server on 127.0.0.51, and runs
# Kestrom under Wine.
#
#   scripts/run.sh             Kestrom on your display when DISPLAY is set (you
#                              answer it and close it); otherwise on an Xvfb of
#                              its own, where the window robot answers the
#                              consent question, saves a screenshot of the main
#                              window (build/demo/kestrom-main.png) and clicks
#                              EXIT.
#   scripts/run.sh --headless  for terminals: loads the engine on the simulated
#                              board and prints what it reports. Also taken when
#                              no display can be had.
#
# Everything it runs lives in build/demo* : its own Wine prefix
# (build/demo-wine, whose wine-run is made from cmake/wine-run.sh.in), its own
# Xvfb (state in build/demo-wine/display), the server's tree (build/demo-ftp,
# a catalogue signed with scripts/catalogue-demo-private.pem)
# and logs (build/demo-logs). Only the build itself uses build/win64.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

usage() { echo "usage: $0 [--headless]"; }
mode=window
case "${1:-}" in
  "") ;;
  --headless) mode=headless ;;
  -h | --help) usage; exit 0 ;;
  *) usage >&2; exit 2 ;;
esac

bin=build/win64/bin
demo=build/demo
ftp_root=build/demo-ftp
logs=build/demo-logs
winedir=build/demo-wine
ftp_address=127.0.0.51
part=6A69VN01

say() { printf '%s\n' "--- $*"; }
# The Windows spelling of a path: Wine shows / as Z:\.
winpath() {
  local p
  p=$(realpath -m "$1")
  printf 'Z:%s' "${p//\//\\}"
}

# --- build
bash scripts/setup.sh
mkdir -p "$logs"
if [ ! -f build/win64/CMakeCache.txt ]; then
  cmake --preset win64 >"$logs/configure.log" 2>&1 || { cat "$logs/configure.log"; exit 1; }
fi
say "building Kestrom, Vossel, flash, vossel-mkimage, robot, boardinfo (log: $logs/build.log)"
if ! cmake --build --preset win64 -j2 --target Kestrom Vossel flash vossel-mkimage robot boardinfo \
  >"$logs/build.log" 2>&1; then
  tail -n 40 "$logs/build.log"
  exit 1
fi

# --- the demonstration folder
mkdir -p "$demo"
cp "$bin/Kestrom.exe" "$bin/Vossel.dll" "$bin/flash.dll" "$bin/boardinfo.exe" "$demo/"
cp scripts/demo_board.ini "$demo/flashsim.ini"
printf '[SERVER]\r\n0=Norvane (local demo)\r\nDefault=0\r\n[0]\r\nAddress=%s\r\nDirectory=//BIOS\r\n' \
  "$ftp_address" >"$demo/config.ini"

# --- a Wine prefix and a display of our own
mkdir -p "$winedir"
sed "s|@CMAKE_BINARY_DIR@|$root/$winedir|" cmake/wine-run.sh.in >"$winedir/wine-run.new"
chmod +x "$winedir/wine-run.new"
mv -f "$winedir/wine-run.new" "$winedir/wine-run"
wine_run="$winedir/wine-run"

ftp_pid=""
kestrom_pid=""
display_started=0
cleanup() {
  local status=$?
  trap - EXIT INT TERM
  if [ -n "$kestrom_pid" ] && kill -0 "$kestrom_pid" 2>/dev/null; then
    kill "$kestrom_pid" 2>/dev/null || true
  fi
  if [ -n "$ftp_pid" ] && kill -0 "$ftp_pid" 2>/dev/null; then
    kill "$ftp_pid" 2>/dev/null || true
    wait "$ftp_pid" 2>/dev/null || true
  fi
  # Ends our Xvfb (if we started one) and our prefix's wineserver, no other.
  cmake/display-fixture.sh stop "$winedir" >/dev/null 2>&1 || true
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# An Xvfb of our own when the caller has no display; false when none starts.
own_display() {
  if cmake/display-fixture.sh start "$winedir" >"$logs/display.log" 2>&1; then
    display_started=1
    DISPLAY=":$(cat "$winedir/display/number")"
    export DISPLAY
    return 0
  fi
  cat "$logs/display.log" >&2
  return 1
}

headless() {
  if [ -z "${DISPLAY:-}" ] && [ $display_started -eq 0 ]; then
    own_display || echo "no display: the engine's message boxes cannot be shown"
  fi
  say "the engine on the simulated board ($demo)"
  "$wine_run" "$demo/boardinfo.exe"
  say "what the engine asked of the driver ($demo/flashsim.log)"
  tail -n 20 "$demo/flashsim.log"
}

if [ "$mode" = headless ]; then
  headless
  exit 0
fi

user_display=0
if [ -n "${DISPLAY:-}" ]; then
  user_display=1
elif ! own_display; then
  echo "no display can be had: taking the headless path"
  headless
  exit 0
fi

# --- the FTP server's tree: catalogue and images for the board
mkdir -p "$ftp_root/BIOS"
cp scripts/demo_catalogue.ini "$ftp_root/BIOS/bios.ini"
for model in 0 1; do
  image="$ftp_root/BIOS/${part,,}.$model"
  rm -f "$image"
  "$wine_run" "$bin/vossel-mkimage.exe" award --size 1M --part "$part" --filler 0x5A -o "$(winpath "$image")" \
    >"$logs/mkimage.log" 2>&1 || { cat "$logs/mkimage.log"; exit 1; }
  [ -s "$image" ] || { echo "vossel-mkimage made no $image"; cat "$logs/mkimage.log"; exit 1; }
done
# The whole chain: the images' digests in the catalogue, the catalogue signed
# with the demo key (one of the keys the win64 build carries).
/usr/bin/python3 tools/sign-catalogue digest "$ftp_root/BIOS/${part,,}.0" "$ftp_root/BIOS/${part,,}.1" \
  >>"$ftp_root/BIOS/bios.ini"
/usr/bin/python3 tools/sign-catalogue sign scripts/catalogue-demo-private.pem "$ftp_root/BIOS/bios.ini"
/usr/bin/python3 tools/sign-catalogue verify scripts/catalogue-demo.pub "$ftp_root/BIOS/bios.ini" >/dev/null
say "catalogue signed with the demo key, with the images' SHA-256 digests"

# --- the FTP server
ftp_out="$logs/ftp-server.out"
: >"$ftp_out"
/usr/bin/python3 tests/ftp/ftp_server.py --address "$ftp_address" --root "$ftp_root" \
  --log "$logs/ftp-commands.log" >"$ftp_out" 2>&1 &
ftp_pid=$!
for _ in $(seq 150); do # at most 15 s
  grep -q '^READY' "$ftp_out" && break
  kill -0 "$ftp_pid" 2>/dev/null || break
  sleep 0.1
done
if ! grep -q '^READY' "$ftp_out"; then
  echo "the FTP server on $ftp_address did not start:"
  cat "$ftp_out"
  exit 1
fi
say "FTP server: $(grep -m1 '^READY' "$ftp_out") serving $ftp_root"

# --- Kestrom
robot() { "$wine_run" "$bin/robot.exe" "$@"; }
say "starting Kestrom on $DISPLAY"
(cd "$demo" && exec "$root/$wine_run" "$root/$demo/Kestrom.exe") >"$logs/kestrom.log" 2>&1 &
kestrom_pid=$!

if [ $user_display -eq 1 ]; then
  echo "Kestrom is on your display; it asks for consent first. Close it (EXIT) to end this script."
  wait "$kestrom_pid" || true
  kestrom_pid=""
else
  robot press --caption Message --button OK --timeout 30000 >/dev/null ||
    { echo "no consent question from Kestrom"; exit 1; }
  robot find --caption Zorvik --timeout 30000 >/dev/null || { echo "no Kestrom main window"; exit 1; }
  rm -f "$demo/kestrom-main.png"
  robot shot --caption Zorvik --out "$(winpath "$demo/kestrom-main.png")" ||
    { echo "could not save the screenshot"; exit 1; }
  say "screenshot of the main window: $root/$demo/kestrom-main.png"
  robot click --caption Zorvik --at 519,44 # its EXIT element
  for _ in $(seq 300); do # at most 30 s
    kill -0 "$kestrom_pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$kestrom_pid" 2>/dev/null; then
    echo "Kestrom did not end after EXIT"
    exit 1
  fi
  wait "$kestrom_pid" || true
  kestrom_pid=""
  echo "Kestrom closed"
fi

say "what is where"
cat <<EOF
  $demo/           Kestrom.exe, Vossel.dll, flash.dll, boardinfo.exe
  $demo/flashsim.ini   the simulated board (Award, 1 MiB, $part)
  $demo/config.ini     the site "Norvane (local demo)": $ftp_address //BIOS, anonymous
  $demo/flashsim.log   the driver's journal
  $ftp_root/BIOS/      bios.ini (with the images' digests), bios.ini.sig (demo key),
                       ${part,,}.0, ${part,,}.1 (served while Kestrom ran)
  $logs/      build, server and Kestrom logs (ftp-commands.log: what the server was asked)
  $winedir/      the Wine prefix of these runs and its wine-run
EOF
if [ -f "$demo/kestrom-main.png" ]; then
  echo "  $demo/kestrom-main.png   Kestrom's main window"
fi
echo "  again in a terminal: $0 --headless"
