#!/usr/bin/env bash
# Installs what is missing, builds both programs and runs the main job: a silent run of
# PurgeKit64.exe under Wine. Prints the exit code.
set -euo pipefail
source "$(dirname "$0")/common.sh"
build_all
start_wine
trap stop_wine EXIT
echo "== PurgeKit64.exe --silent"
set +e
wine "$BUILD/bin/PurgeKit64.exe" --silent
code=$?
set -e
echo "== exit code: $code"
