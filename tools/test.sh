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
# Every test runs once: a test that fails, fails. Under the full parallel load Wine now and
# then fails to start a process (CreateProcess fails, or the loader prints "Application could
# not be started"); the launcher and the test support retry that start alone, with a line
# holding "$PURGEKIT_START_RETRIED" in the test's output (tools/wine-env.sh).
ctest --test-dir "$BUILD" --output-on-failure -j "$(nproc)" "$@" || status=$?

# The tests that needed a retried start, so that a rising count is seen.
log="$BUILD/Testing/Temporary/LastTest.log"
if [ -f "$log" ]; then
  retried=$(awk -v marker="$PURGEKIT_START_RETRIED" '
    /^[0-9]+\/[0-9]+ Testing: / { sub(/^[0-9]+\/[0-9]+ Testing: /, ""); test = $0 }
    index($0, marker) && test != "" { count[test]++ }
    END { for (t in count) printf "  %s (%d)\n", t, count[t] }' "$log" | sort)
  if [ -n "$retried" ]; then
    echo "test: tests that needed a retried start (retries):"
    echo "$retried"
  else
    echo "test: no test needed a retried start"
  fi
fi
exit $status
