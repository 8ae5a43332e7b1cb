#!/usr/bin/env bash
# Installs what is missing, builds both programs and runs the whole test suite under Wine.
set -euo pipefail
source "$(dirname "$0")/common.sh"
build_all
start_wine
trap stop_wine EXIT
if [ "$PURGEKIT_RUNS_32BIT" != yes ]; then
  echo "test: 32-bit code runs: $PURGEKIT_RUNS_32BIT; the tests that start 32-bit programs are skipped"
fi
status=0
xvfb-run -a -s "-screen 0 1280x1024x24" \
  ctest --test-dir "$BUILD" --output-on-failure -j "$(nproc)" "$@" || status=$?
exit $status
