#!/usr/bin/env bash
# Builds everything and runs the registry benchmark under Wine (not part of the test suite):
# a branch of 10,000 keys removed by RegOps::WipeBranch and an identical one by
# "reg delete /f", with both times and their ratio. Optional argument: the number of keys.
set -euo pipefail
source "$(dirname "$0")/common.sh"
build_all
start_wine
trap stop_wine EXIT
wine "$BUILD/win64/tests/bench/reg_bench.exe" "$@"
