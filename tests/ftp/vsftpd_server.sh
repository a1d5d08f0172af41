#!/bin/bash
# start|stop ADDRESS ROOT STATEDIR [PORT]
# Runs vsftpd as an anonymous, read-only server of ROOT on ADDRESS:PORT (21 by
# default), with both passive and active (PORT) data connections. Its
# configuration, pid file, output and protocol log (every command and reply)
# live in STATEDIR. start returns once the server greets with 220 and prints
# "READY ADDRESS:PORT"; stop ends it. Both are safe to repeat.
set -u
usage() { echo "usage: $0 start|stop ADDRESS ROOT STATEDIR [PORT]" >&2; exit 2; }
[ $# -ge 4 ] || usage
action=$1 addr=$2 root=$3 state=$4 port=${5:-21}

ours() { grep -qaF -- "$state/vsftpd.conf" "/proc/$1/cmdline" 2>/dev/null; }

stop_server() {
  [ -s "$state/vsftpd.pid" ] || return 0
  local pid
  pid=$(cat "$state/vsftpd.pid")
  # Only a vsftpd started with this state directory's configuration is ours.
  if ours "$pid"; then
    # The listener leads its own process group, which holds the sessions.
    kill -- "-$pid" 2>/dev/null || kill "$pid" 2>/dev/null
    # A zombie has no command line: once it is one, it has ended.
    for _ in $(seq 100); do ours "$pid" || break; sleep 0.05; done
    ours "$pid" && kill -KILL -- "-$pid" 2>/dev/null
  fi
  rm -f "$state/vsftpd.pid"
}

# Prints the greeting of the server on ADDRESS:PORT and ends the session with
# QUIT; fails when nobody answers within a second.
greeting() {
  timeout 3 bash -c 'exec 3<>"/dev/tcp/$0/$1" || exit 1
    read -r -t 1 line <&3 || exit 1
    printf "QUIT\r\n" >&3; read -r -t 1 _ <&3; echo "$line"' "$addr" "$port" 2>/dev/null
}

case "$action" in
  start)
    command -v vsftpd >/dev/null || { echo "vsftpd is not installed" >&2; exit 1; }
    [ -d "$root" ] || { echo "no such folder: $root" >&2; exit 1; }
    mkdir -p "$state"
    state=$(cd "$state" && pwd)
    root=$(cd "$root" && pwd)
    stop_server
    # vsftpd changes into this empty folder, owned by root, before it drops
    # its privileges.
    mkdir -p "$state/empty"
    chmod 755 "$state/empty"
    rm -f "$state/vsftpd.log"
    cat >"$state/vsftpd.conf" <<EOF
listen=YES
listen_ipv6=NO
listen_address=$addr
listen_port=$port
background=NO
anonymous_enable=YES
local_enable=NO
write_enable=NO
anon_root=$root
no_anon_password=NO
anon_world_readable_only=NO
pasv_enable=YES
port_enable=YES
connect_from_port_20=NO
secure_chroot_dir=$state/empty
seccomp_sandbox=NO
isolate=NO
isolate_network=NO
dirmessage_enable=NO
hide_ids=YES
syslog_enable=NO
xferlog_enable=YES
xferlog_std_format=NO
log_ftp_protocol=YES
vsftpd_log_file=$state/vsftpd.log
ftpd_banner=Vossel test vsftpd ready.
EOF
    setsid vsftpd "$state/vsftpd.conf" >"$state/vsftpd.out" 2>&1 </dev/null &
    pid=$!
    echo "$pid" >"$state/vsftpd.pid"
    for _ in $(seq 100); do
      if ! kill -0 "$pid" 2>/dev/null; then
        echo "vsftpd on $addr:$port ended at start:" >&2
        cat "$state/vsftpd.out" >&2
        rm -f "$state/vsftpd.pid"
        exit 1
      fi
      case "$(greeting)" in
        220*)
          # The log starts after the probe's session.
          : >"$state/vsftpd.log"
          echo "READY $addr:$port"
          exit 0 ;;
      esac
      sleep 0.1
    done
    echo "vsftpd on $addr:$port did not greet within 10 s" >&2
    stop_server
    exit 1
    ;;
  stop)
    [ -d "$state" ] || exit 0
    state=$(cd "$state" && pwd)
    stop_server
    ;;
  *) usage ;;
esac
