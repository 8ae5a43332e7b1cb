# Sourced by everything that starts Wine programs: the tools and the CTest emulator script.
# The one place that decides how Wine is started on this machine. Expects BUILD (the build tree).
#
# Debian's `wine` wrapper picks the 32-bit loader whenever wine32 is installed, but some
# machines run no 32-bit user code at all ("Exec format error"): there the 64-bit loader is
# started directly, with WINELOADER pointing at it, and 32-bit programs cannot run.
# (PURGEKIT_WINE64_ONLY=1 makes the tools take that road on a machine that does run 32-bit
# code; see tools/common.sh.)

# Wine reads every Unix file name in the character set of LC_CTYPE; in any other than UTF-8
# a checkout below a folder with letters outside ASCII cannot be reached.
if [ "$(locale charmap 2>/dev/null)" != UTF-8 ]; then export LC_ALL=C.UTF-8; fi

export WINEPREFIX="$BUILD/wineprefix"
export WINEARCH=win64
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

PURGEKIT_WINE32_LOADER=/usr/lib/wine/wine
PURGEKIT_WINE64_LOADER=/usr/lib/wine/wine64

if [ "${PURGEKIT_WINE64_ONLY:-0}" != 1 ] && "$PURGEKIT_WINE32_LOADER" --version >/dev/null 2>&1; then
  PURGEKIT_WINE=/usr/bin/wine
  PURGEKIT_RUNS_32BIT=yes
else
  export WINELOADER="$PURGEKIT_WINE64_LOADER"
  PURGEKIT_WINE="$WINELOADER"
  if [ "${PURGEKIT_WINE64_ONLY:-0}" = 1 ]; then
    PURGEKIT_RUNS_32BIT="no (PURGEKIT_WINE64_ONLY=1)"
  else
    PURGEKIT_RUNS_32BIT="no (this machine runs no 32-bit code, or 32-bit Wine is missing)"
  fi
fi
export PURGEKIT_WINE PURGEKIT_RUNS_32BIT

# Under load Wine now and then fails to start a program at all. Started from a Unix command
# line, its loader then falls back to start.exe, which fails in turn and prints the two lines
# below (the second the reason: "Internal error." is Wine's own failure to set the process up;
# a file that is no program, for one, gives another) and exits 1; the program itself never
# ran. Only that start is tried again, at most twice, each time with a line holding
# PURGEKIT_START_RETRIED, which tools/test.sh looks for to list the tests that needed one.
# Any other outcome is the program's own and stands at the first attempt.
PURGEKIT_START_FAILED='Application could not be started, or no application associated with the specified file.
ShellExecuteEx failed: Internal error.'
PURGEKIT_START_RETRIED='WINE START RETRIED'
export PURGEKIT_START_RETRIED

# Whether a start that ended with the exit code printed the loader's failure alone (the output
# file holds everything it printed): a program that ran prints other lines.
wine_start_failed() { # output-file exit-code
  [ "$2" = 1 ] && [ "$(tr -d '\r' <"$1")" = "$PURGEKIT_START_FAILED" ]
}

# Runs a Windows program with the loader chosen above; its standard output passes through.
# Where that output is a terminal it is not read back (that would take the terminal away
# from the program), and the start is not retried.
wine_run() { # program arguments...
  if [ -t 1 ]; then
    "$PURGEKIT_WINE" "$@"
    return
  fi
  local out code attempt
  out=$(mktemp)
  for attempt in 1 2 3; do
    "$PURGEKIT_WINE" "$@" | tee "$out"
    code=${PIPESTATUS[0]}
    [ "$attempt" -lt 3 ] && wine_start_failed "$out" "$code" || break
    echo "$PURGEKIT_START_RETRIED ($attempt of 2): Wine could not start $1; starting it again" >&2
  done
  rm -f "$out"
  return "$code"
}
