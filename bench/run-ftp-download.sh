#!/usr/bin/env bash
# Builds the win64 preset's FTP download benchmark and runs it under Wine
# against a pyftpdlib server on 127.0.0.41 (port 21, so as root) that serves a
# 16 MiB file of random bytes as //BIOS/6a69vn01.0 from /tmp/vossel-ftpbench.
# Prints the medians of the engine's download and of FtpGetFile, then
# "ratio download/FtpGetFile = ..." and the memory the download holds.
# Usage: bench/run-ftp-download.sh [build-dir] [benchmark options, e.g. --runs 15]
#   e.g. bench/run-ftp-download.sh               (build/win64, 7 runs)
#        bench/run-ftp-download.sh /tmp/b --runs 3
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/wine-bench.sh "$@"
address=127.0.0.41
root=/tmp/vossel-ftpbench
size_mib=16
# The Python with pyftpdlib (a pyenv python3 on PATH may lack it).
python=${VOSSEL_FTP_PYTHON:-/usr/bin/python3}

wine_bench_build vossel_ftp_download_bench

rm -rf "$root"
mkdir -p "$root/BIOS"
head -c $((size_mib * 1024 * 1024)) /dev/urandom >"$root/BIOS/6a69vn01.0"

out=$(mktemp)
server=
stop_server() {
  if [ -n "$server" ] && kill -0 "$server" 2>/dev/null; then
    kill "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
  fi
  rm -f "$out"
}
trap stop_server EXIT
"$python" tests/ftp/ftp_server.py --address "$address" --root "$root" >"$out" 2>&1 </dev/null &
server=$!
# 20 s at most for its readiness line.
for _ in $(seq 200); do
  grep -q '^READY ' "$out" && break
  kill -0 "$server" 2>/dev/null || { echo "the FTP server ended:" >&2; cat "$out" >&2; exit 1; }
  sleep 0.1
done
grep -q '^READY ' "$out" || { echo "the FTP server on $address did not get ready:" >&2; cat "$out" >&2; exit 1; }

"$build/wine-run" "$build/bin/vossel_ftp_download_bench.exe" --host "$address" --size-mib "$size_mib" "${bench_args[@]}"
