#!/usr/bin/env bash
# Installs what is missing, builds both programs and runs the main job: silent runs of
# PurgeKit64.exe under Wine, showing each run's console text and exit code, and the log.
set -euo pipefail
source "$(dirname "$0")/common.sh"
build_all
start_wine
trap stop_wine EXIT

exe="$BUILD/bin/PurgeKit64.exe"
demo_scripts="Z:$(echo "$REPO/tests/fixtures/run/done" | tr / '\\')"
log="$WINEPREFIX/drive_c/ProgramData/Korvane/Log/PurgeKit/PurgeKit.log"

run() {
  echo
  echo "== PurgeKit64.exe $*"
  set +e
  wine "$exe" "$@" | cat
  local code=${PIPESTATUS[0]}
  set -e
  echo "== exit code: $code"
}

# The built-in script archive, as shipped.
run --silent --help
# Demonstration product scripts: the option help, then a silent removal.
run --silent --help --scripts "$demo_scripts"
run --silent --scripts "$demo_scripts"

echo
echo "== last lines of $log"
tail -n 20 "$log" | tr -d '\r'
