#!/usr/bin/env bash
# Installs what is missing, builds both programs and runs the whole test suite under Wine.
set -euo pipefail
source "$(dirname "$0")/common.sh"
build_all
start_wine
trap stop_wine EXIT
status=0
xvfb-run -a -s "-screen 0 1280x1024x24" \
  ctest --test-dir "$BUILD" --output-on-failure -j "$(nproc)" "$@" || status=$?
exit $status
