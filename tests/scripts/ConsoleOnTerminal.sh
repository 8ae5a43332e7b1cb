#!/usr/bin/env bash
# Runs PurgeKit64.exe under Wine on a pseudo-terminal, as an administrator typing in a console
# would, and checks that the console text appears there (written as console text, not UTF-8
# bytes to a redirected handle) with the exit code.
# Usage: ConsoleOnTerminal.sh WINE_RUNNER EXE SCRIPTS_DIR
set -u
runner=$1 exe=$2 scripts=$3
out=$(mktemp)
trap 'rm -f "$out"' EXIT
# The runner's tools/wine-env.sh: how a start that Wine failed looks (wine_start_failed).
BUILD=$(dirname "$runner")
. "$(dirname "$0")/../../tools/wine-env.sh"

check() {  # expected-code expected-text arguments...
  local code=$1 text=$2
  shift 2
  # script hands its command to a shell: every word in single quotes, blanks and all.
  local command="" word got attempt
  for word in "$runner" "$exe" "$@"; do command+="'${word//\'/\'\\\'\'}' "; done
  for attempt in 1 2 3; do
    script -qec "$command" /dev/null </dev/null >"$out" 2>&1
    got=$?
    [ "$attempt" -lt 3 ] && wine_start_failed "$out" "$got" || break
    echo "$PURGEKIT_START_RETRIED ($attempt of 2): Wine could not start $exe; starting it again"
  done
  if [ "$got" -ne "$code" ]; then
    echo "FAIL: $*: exit code $got, expected $code"; cat "$out"; exit 1
  fi
  if ! tr -d '\r' <"$out" | grep -qF -- "$text"; then
    echo "FAIL: $*: no line '$text' on the terminal:"; cat "$out"; exit 1
  fi
  echo "ok: $* -> $got"
}

check 0 "                             quarantine|halcyra|logs." --silent --help --scripts "$scripts"
check 1 "Error in parameters: Unknown option: --nope" --silent --nope
check 1 "Use --help|-h option to view available parameters" --silent --nope
check 1 "Une erreur" --silent --language fr --scripts "$scripts\\none"
