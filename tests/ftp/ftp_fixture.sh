#!/bin/bash
# start|stop STATEDIR SERVERFILE
# Starts the FTP servers that SERVERFILE describes, one per line:
#
#   name kind address[:port] root [options...]
#
# kind is pyftpdlib (ftp_server.py, which takes the options, e.g. --hide BIOS
# or --drop-after 6a69vn01.0=4096) or vsftpd (no options). The port defaults
# to 21. A relative root is a folder under STATEDIR that belongs to the
# fixture: start creates it empty. Blank lines and lines starting with # are
# skipped; options are split at blanks and cannot be quoted.
#
# start first stops whatever an earlier start left, launches every server,
# waits (20 s at most each) for its readiness line and writes
# STATEDIR/servers.env:
#
#   FTP_SERVERS="main mirror ..."       names in file order
#   MAIN_KIND=pyftpdlib  MAIN_ADDR=127.0.0.2  MAIN_PORT=21
#   MAIN_ROOT=/abs/root  MAIN_LOG=/abs/commands.log  MAIN_PID=1234
#
# (name upper-cased, other characters than letters and digits as _). The log
# holds the commands each server received. stop ends the servers and removes
# servers.env; logs and roots stay for a look after a failure. SERVERFILE is
# not read by stop.
set -u
usage() { echo "usage: $0 start|stop STATEDIR SERVERFILE" >&2; exit 2; }
[ $# -ge 2 ] || usage
action=$1 state=$2 servers=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
ready_wait=${FTP_READY_WAIT:-20}

find_python() {
  local p
  for p in ${VOSSEL_FTP_PYTHON:-} python3 /usr/bin/python3; do
    if "$p" -c 'import pyftpdlib' 2>/dev/null; then echo "$p"; return 0; fi
  done
  echo "no Python with pyftpdlib (install python3-pyftpdlib)" >&2
  return 1
}

# True when pid runs a command line that contains text.
runs() { grep -qaF -- "$2" "/proc/$1/cmdline" 2>/dev/null; }

stop_all() {
  local list="$state/started"
  if [ -f "$list" ]; then
    local name kind pid
    while read -r name kind; do
      if [ "$kind" = vsftpd ]; then
        "$here/vsftpd_server.sh" stop - - "$state/$name.vsftpd"
        rm -f "$state/$name.pid"
      elif [ -s "$state/$name.pid" ]; then
        pid=$(cat "$state/$name.pid")
        if runs "$pid" "$state/$name.log"; then
          kill "$pid" 2>/dev/null
          # A zombie has no command line: once it is one, it has ended.
          for _ in $(seq 100); do runs "$pid" "$state/$name.log" || break; sleep 0.05; done
          runs "$pid" "$state/$name.log" && kill -KILL "$pid" 2>/dev/null
        fi
        rm -f "$state/$name.pid"
      fi
    done <"$list"
    rm -f "$list"
  fi
  rm -f "$state/servers.env" "$state/servers.env.tmp"
}

env_name() { echo "$1" | tr '[:lower:]' '[:upper:]' | tr -c 'A-Z0-9\n' '_'; }

start_all() {
  [ -f "$servers" ] || { echo "no server list $servers" >&2; return 1; }
  local python
  python=$(find_python) || return 1
  local names=() line name kind where root opts addr port key
  declare -A seen=()
  local env="$state/servers.env.tmp"
  : >"$env"
  : >"$state/started"
  while read -r line || [ -n "$line" ]; do
    line=${line%%$'\r'}
    case "$line" in ''|'#'*) continue ;; esac
    read -r name kind where root opts <<<"$line"
    if [ -z "${root:-}" ]; then echo "a server line needs name kind address root: $line" >&2; return 1; fi
    addr=${where%%:*}
    port=21
    [ "$addr" != "$where" ] && port=${where#*:}
    key=$(env_name "$name")
    if [ -n "${seen[$key]:-}" ] || [ -n "${seen[$addr:$port]:-}" ]; then
      echo "the server list names $name or $addr:$port twice" >&2; return 1
    fi
    seen[$key]=1; seen[$addr:$port]=1
    case "$root" in
      /*) mkdir -p "$root" ;;
      *) root="$state/$root"; rm -rf "$root"; mkdir -p "$root" ;;
    esac
    root=$(cd "$root" && pwd)
    # vsftpd reads the tree as its unprivileged ftp user.
    chmod a+rx "$root"
    case "$kind" in
      pyftpdlib)
        local log="$state/$name.log"
        rm -f "$log" "$state/$name.out"
        # shellcheck disable=SC2086 # options are blank-separated words
        setsid "$python" "$here/ftp_server.py" --address "$addr" --port "$port" --root "$root" \
          --log "$log" $opts >"$state/$name.out" 2>"$state/$name.err" </dev/null &
        echo "$!" >"$state/$name.pid"
        echo "$name pyftpdlib" >>"$state/started"
        ;;
      vsftpd)
        if [ -n "${opts:-}" ]; then echo "vsftpd takes no fault options: $line" >&2; return 1; fi
        local log="$state/$name.vsftpd/vsftpd.log"
        echo "$name vsftpd" >>"$state/started"
        # Waits for the greeting itself.
        "$here/vsftpd_server.sh" start "$addr" "$root" "$state/$name.vsftpd" "$port" \
          >"$state/$name.out" 2>"$state/$name.err" || {
            echo "vsftpd $name on $addr:$port did not start:" >&2; cat "$state/$name.err" >&2; return 1; }
        cat "$state/$name.vsftpd/vsftpd.pid" >"$state/$name.pid"
        ;;
      *) echo "unknown server kind $kind in: $line" >&2; return 1 ;;
    esac
    names+=("$name")
    {
      echo "${key}_KIND=$kind"
      echo "${key}_ADDR=$addr"
      echo "${key}_PORT=$port"
      echo "${key}_ROOT=$root"
      echo "${key}_LOG=$log"
      echo "${key}_PID=$(cat "$state/$name.pid")"
    } >>"$env"
  done <"$servers"

  # Every server announces itself with one READY line once it listens.
  local deadline pid
  for name in "${names[@]}"; do
    deadline=$((SECONDS + ready_wait))
    pid=$(cat "$state/$name.pid")
    until grep -q '^READY ' "$state/$name.out" 2>/dev/null; do
      if ! kill -0 "$pid" 2>/dev/null || [ $SECONDS -ge $deadline ]; then
        echo "FTP server $name is not ready:" >&2
        cat "$state/$name.err" >&2
        return 1
      fi
      sleep 0.05
    done
    echo "$name: $(grep -m1 '^READY ' "$state/$name.out")"
  done
  echo "FTP_SERVERS=\"${names[*]}\"" >>"$env"
  echo "FTP_STATEDIR=$state" >>"$env"
  mv "$env" "$state/servers.env"
}

case "$action" in
  start)
    [ -n "$servers" ] || usage
    servers=$(cd "$(dirname "$servers")" && pwd)/$(basename "$servers")
    mkdir -p "$state"
    state=$(cd "$state" && pwd)
    stop_all
    if ! start_all; then
      stop_all
      exit 1
    fi
    ;;
  stop)
    [ -d "$state" ] || exit 0
    state=$(cd "$state" && pwd)
    stop_all
    ;;
  *) usage ;;
esac
