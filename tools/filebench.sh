#!/usr/bin/env bash
# Builds everything and runs the file removal benchmark under Wine (not part of the test suite):
# a tree of 20,000 files in 2,000 folders removed by FileOps::WipeRecursive and an identical
# one by "cmd /c rmdir /s /q", with both times and their ratio. Optional argument: the number
# of folders; or --depth N..., the removal of chains of folders N levels deep, each timed
# (Wine's Unix paths hold about 1,980 levels below drive_c).
set -euo pipefail
source "$(dirname "$0")/common.sh"
build_all
start_wine
trap stop_wine EXIT
wine "$BUILD/win64/tests/bench/file_bench.exe" "$@"
