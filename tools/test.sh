#!/usr/bin/env bash
# Installs what is missing, builds both programs and runs the whole test suite under Wine.
# Everything Wine starts runs on one virtual X display (Xvfb), so that the window tests
# have a screen; the persistent wine server and its desktop process are started on it too.
set -euo pipefail
if [ -z "${PURGEKIT_IN_XVFB:-}" ]; then
  # xvfb-run itself is installed by the set-up.
  bash "$(dirname "$0")/setup.sh"
  PURGEKIT_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi
source "$(dirname "$0")/common.sh"
build_all
start_wine
trap stop_wine EXIT
if [ "$PURGEKIT_RUNS_32BIT" != yes ]; then
  echo "test: 32-bit code runs: $PURGEKIT_RUNS_32BIT; the tests that start 32-bit programs are skipped"
fi
status=0
# Under the full parallel load Wine now and then fails to start a process (CreateProcess
# fails, or the loader prints "Application could not be started"); a test that fails is run
# once more, and both attempts stay in the output. A fault that fails twice still fails.
ctest --test-dir "$BUILD" --output-on-failure -j "$(nproc)" --repeat until-pass:2 "$@" || status=$?
exit $status
