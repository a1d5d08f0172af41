#!/usr/bin/env bash
# A long soak of the seeded fault campaign (the engine_fault_campaign test):
# RUNS runs of ROUNDS rounds each, every run with a fresh seed, each round an
# export that writes or saves under a random driver failure. Stops at the
# first failing run and prints the seed and round count that replay it:
#   VOSSEL_CAMPAIGN_SEED=<seed> VOSSEL_CAMPAIGN_ROUNDS=<rounds> ctest --preset win64 -R '^engine_fault_campaign$'
# Usage: bench/run-fault-soak.sh [runs] [rounds]    (default 10 runs of 600 rounds;
# a run must end within the test's time limit of 900 s)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-10}
rounds=${2:-600}
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j2 --target engine_server_tests flash >/dev/null
total=0
start=$(date +%s)
for run in $(seq 1 "$runs"); do
  seed=$(od -An -N4 -tu4 /dev/urandom | tr -d ' ')
  echo "run $run/$runs: seed $seed, $rounds rounds"
  # The test FTP servers listen on fixed addresses: one user of them at a time.
  if ! VOSSEL_CAMPAIGN_SEED=$seed VOSSEL_CAMPAIGN_ROUNDS=$rounds \
       flock /tmp/vossel-ftp.lock ctest --preset win64 -R '^engine_fault_campaign$' --output-on-failure; then
    echo "FAILED: replay with VOSSEL_CAMPAIGN_SEED=$seed VOSSEL_CAMPAIGN_ROUNDS=$rounds"
    exit 1
  fi
  total=$((total + rounds))
done
echo "$total rounds passed in $(( $(date +%s) - start )) s"
