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
