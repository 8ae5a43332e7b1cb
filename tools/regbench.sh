#!/usr/bin/env bash
# Builds everything and runs the registry benchmark under Wine (not part of the test suite):
# in each run a branch of 10,000 keys is removed by RegOps::WipeBranch and an identical one by
# "reg delete /f"; each ratio is printed, then their median and the largest.
# Usage: tools/regbench.sh [runs (5)] [--keys N] [--view32]
set -euo pipefail
source "$(dirname "$0")/common.sh"
build_all
start_wine
trap stop_wine EXIT
wine "$BUILD/win64/tests/bench/reg_bench.exe" "$@"
