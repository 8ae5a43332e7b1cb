#!/usr/bin/env bash
# Builds everything and runs the benchmarks under Wine (not part of the test suite):
# - the logger: the cost of a disabled log call, and lines per second into the log file from
#   1 thread, 4 threads and 2 processes (optional argument: the number of lines per figure,
#   20000);
# - the start of PurgeKit64.exe --silent --help with its built-in archive (unpack, load every
#   script, detect) against `wine cmd /c exit` in the same run: the median of 11 runs each;
# - the silent removal of every product that the installation simulator installs.
set -euo pipefail
source "$(dirname "$0")/common.sh"
build_all
start_wine
trap stop_wine EXIT
wine "$BUILD/win64/tests/bench/log_bench.exe" "$@"

exe="$BUILD/bin/PurgeKit64.exe"
simulate="$BUILD/win64/tests/kv_simulate.exe"

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# The median time in milliseconds of 11 runs of the command.
median_ms() {
  local times=() start
  for _ in $(seq 11); do
    start=$(now_ms)
    "$@" </dev/null >/dev/null 2>&1 || true
    times+=($(($(now_ms) - start)))
  done
  printf '%s\n' "${times[@]}" | sort -n | sed -n 6p
}

floor=$(median_ms wine cmd /c exit)
help=$(median_ms wine "$exe" --silent --help)
echo "start: wine cmd /c exit ${floor} ms; PurgeKit64.exe --silent --help ${help} ms;" \
  "$((help - floor)) ms above the floor"

ids=$(wine "$exe" --silent --help </dev/null | tr -d '\r' |
  sed -n 's/^[[:space:]]*\([a-z_0-9|]*\)\.$/\1/p' | head -1 | tr '|' ',')
wine "$simulate" install all </dev/null >/dev/null
start=$(now_ms)
set +e
wine "$exe" --silent --products "$ids" </dev/null >/dev/null 2>&1
code=$?
set -e
echo "removal of every simulated product: $(($(now_ms) - start)) ms, exit code $code"
left=$(wine "$simulate" report all </dev/null | tr -d '\r' | awk -F'\t' '$2 == "footprint" && $4 == "present"' | wc -l)
echo "footprint items left: $left"
