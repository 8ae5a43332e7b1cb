#!/usr/bin/env bash
# A tree with a held file is wiped, then the Wine server is restarted (Wine carries out the
# pending file operations when its server next starts), then nothing of the tree may remain.
# The restart would end every other test of the build's prefix, so this runs in a prefix of
# its own.
# Usage: RestartCarriesOutPendingDeletes.sh PREFIX PROBE_EXE
set -u
# Wine is started the way the tools start it on this machine; only the prefix is our own.
BUILD=$(dirname "$1")
. "$(dirname "$0")/../../tools/wine-env.sh"
export WINEPREFIX=$1
probe=$2
wine() { "$PURGEKIT_WINE" "$@"; }
out=$(mktemp)
trap 'wineserver -k 2>/dev/null; rm -f "$out"' EXIT

# A server of its own whose helper processes hold none of our handles.
start_server() {
  wineserver -p
  wine cmd /c exit </dev/null >/dev/null 2>&1
}

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wine wineboot -i </dev/null >/dev/null 2>&1
  wineserver -w
fi
start_server
wine "$probe" --gtest_filter='Restart.Before*' </dev/null >"$out" 2>&1 || {
  echo "FAIL: before the restart"; cat "$out"; exit 1
}
cat "$out"
wineserver -k
wineserver -w
start_server
wine "$probe" --gtest_filter='Restart.After*' </dev/null >"$out" 2>&1 || {
  echo "FAIL: after the restart"; cat "$out"; exit 1
}
cat "$out"
