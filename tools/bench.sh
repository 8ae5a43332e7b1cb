#!/usr/bin/env bash
# Builds everything and runs the logging benchmark under Wine (not part of the test suite):
# the cost of a disabled log call, and lines per second into the log file from 1 thread,
# 4 threads and 2 processes. Optional argument: the number of lines per figure (20000).
set -euo pipefail
source "$(dirname "$0")/common.sh"
build_all
start_wine
trap stop_wine EXIT
wine "$BUILD/win64/tests/bench/log_bench.exe" "$@"
