#!/bin/bash
# start|stop BUILD_DIR: gives Windows tests a display. With DISPLAY set the
# caller's display is used; otherwise an Xvfb is started and its number kept in
# BUILD_DIR/display/number. Stop ends that Xvfb and the prefix's wineserver.
set -eu
action=$1
build_dir=$2
state="$build_dir/display"
mkdir -p "$state"
case "$action" in
  start)
    rm -f "$state/number"
    if [ -n "${DISPLAY:-}" ]; then
      echo "using the caller's display $DISPLAY"
      exit 0
    fi
    fifo="$state/ready.fifo"
    rm -f "$fifo"; mkfifo "$fifo"
    # Xvfb writes its display number to fd 3 once it accepts connections.
    setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" \
      >"$state/xvfb.log" 2>&1 </dev/null &
    echo $! >"$state/pid"
    number=""
    read -r -t 60 number <"$fifo" || true
    rm -f "$fifo"
    if [ -z "$number" ]; then
      echo "Xvfb did not start:"; cat "$state/xvfb.log"; exit 1
    fi
    echo "$number" >"$state/number"
    echo "Xvfb on :$number"
    # Create the Wine prefix now so no test pays for it under its own timeout.
    "$build_dir/wine-run" cmd /c exit 0 </dev/null >/dev/null 2>&1 || true
    ;;
  stop)
    WINEPREFIX="$build_dir/wineprefix" wineserver -k >/dev/null 2>&1 || true
    if [ -s "$state/pid" ]; then
      kill "$(cat "$state/pid")" 2>/dev/null || true
      rm -f "$state/pid" "$state/number"
    fi
    ;;
  *) echo "usage: $0 start|stop BUILD_DIR" >&2; exit 2 ;;
esac
