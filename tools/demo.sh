#!/usr/bin/env bash
# Installs what is missing, builds both programs and runs the main job in a fresh Wine prefix:
# every Korvane product of the catalogue (resources/ProductCatalogue.md) is installed there by
# the installation simulator as real installations leave it (services whose keys hold their
# subkeys, read-only files, a path longer than 260 characters), with its look-alike items, one
# file held open by a running program; then PurgeKit64.exe --silent runs from its built-in
# archive. A table shows what was there before and what is left after; then the Wine server
# is restarted (Wine carries out the pending file operations when its server next starts, as
# Windows does at a restart) and a second run, which also removes the product logs, shows
# that nothing is left.
set -euo pipefail
source "$(dirname "$0")/common.sh"
build_all
export WINEPREFIX="$BUILD/demo-prefix"
rm -rf "$WINEPREFIX"
echo "== a fresh Wine prefix: $WINEPREFIX"
start_wine
trap stop_wine EXIT

exe="$BUILD/bin/PurgeKit64.exe"
simulate="$BUILD/win64/tests/kv_simulate.exe"
log="$WINEPREFIX/drive_c/ProgramData/Korvane/Log/PurgeKit/PurgeKit.log"
work=$(mktemp -d)
trap 'stop_wine; rm -rf "$work"' EXIT

run() {
  echo
  echo "== PurgeKit64.exe $*"
  set +e
  wine "$exe" "$@" </dev/null | cat
  local code=${PIPESTATUS[0]}
  set -e
  echo "== exit code: $code"
  echo "== detected:"
  # The scripts' detection lines of this run (the log's last start of logging on).
  awk '/LOGGING STARTED/ { n = 0 } { lines[n++] = $0 } END { for (i = 0; i < n; i++) print lines[i] }' "$log" |
    tr -d '\r' | grep -o '\[lib_common.lua\] [a-z_0-9]* detected: .*' | sed 's/^\[lib_common.lua\] /   /' || echo "   (nothing)"
}

report() { wine "$simulate" report all </dev/null | tr -d '\r'; }

echo
echo "== installing every product of the catalogue"
# The program holding the file outlives the simulator, with its output: into a file, not a pipe.
wine "$simulate" install --controls --hold all </dev/null >"$work/install" 2>&1 || {
  cat "$work/install"
  exit 1
}
report >"$work/before"

run --silent
report >"$work/after"

echo
echo "== restarting (the Wine server)"
wineserver -k
wineserver -w
start_wine >/dev/null
ids=$(wine "$exe" --silent --help </dev/null | tr -d '\r' | sed -n 's/^[[:space:]]*\([a-z_0-9|]*\)\.$/\1/p' | head -1 | tr '|' ',')
run --silent --products "$ids"
report >"$work/restart"

echo
echo "== what the catalogue's items were: before, after the first run, after the restart and the second run"
printf '%-14s %-9s %-62s %-8s %-8s %s\n' product block item before after restart
# An item longer than its column (a long path, a deep key) keeps its beginning and its end.
paste "$work/before" "$work/after" "$work/restart" |
  awk -F'\t' '{ item = $3; if (length(item) > 62) item = substr(item, 1, 29) "..." substr(item, length(item) - 29)
                printf "%-14s %-9s %-62s %-8s %-8s %s\n", $1, $2, item, $4, $8, $12 }'
left=$(awk -F'\t' '$2 == "footprint" && $4 == "present"' "$work/restart" | wc -l)
# Measured after the first run: global atoms, like the programs, do not survive the restart.
touched=$(awk -F'\t' '$2 == "control" && $4 != "present"' "$work/after" | wc -l)
echo
echo "== footprint items left after the restart: $left; look-alike items the first run touched: $touched"
