# Shared by the tools: where the build lives and how Wine is set up for it.
REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${PURGEKIT_BUILD_DIR:-$REPO/build}

# PURGEKIT_WINE64_ONLY=1: run as on a machine that runs no 32-bit code. After the set-up, the
# calling tool runs again in a mount namespace of its own, in which the 32-bit Wine loader
# fails the way it does on such a machine ("Exec format error", exit 126).
if [ "${PURGEKIT_WINE64_ONLY:-0}" = 1 ] && [ "${PURGEKIT_WINE64_ONLY_ACTIVE:-0}" != 1 ]; then
  bash "$REPO/tools/setup.sh"
  export PURGEKIT_WINE64_ONLY_ACTIVE=1
  exec unshare --mount --propagation private -- bash -c '
    loader=/usr/lib/wine/wine
    if [ -e "$loader" ]; then
      stub=$(mktemp)
      printf "#!/bin/sh\necho \"\$0: cannot execute binary file: Exec format error\" >&2\nexit 126\n" >"$stub"
      chmod +x "$stub"
      mount --bind "$stub" "$loader" || { echo "setup: cannot hide the 32-bit Wine loader" >&2; exit 1; }
    fi
    exec bash "$@"' bash "$0" "$@"
fi
source "$REPO/tools/wine-env.sh"

build_all() {
  bash "$REPO/tools/setup.sh"
  cmake -S "$REPO" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$BUILD" -j "$(nproc)"
}

wine() { "$PURGEKIT_WINE" "$@"; }

fail_wine() {
  echo "setup: $1" >&2
  echo "setup: Wine was started as '$PURGEKIT_WINE' (WINELOADER=${WINELOADER:-unset}); 32-bit code: $PURGEKIT_RUNS_32BIT" >&2
  [ -s "$BUILD/wine-start.log" ] && sed 's/^/  /' "$BUILD/wine-start.log" >&2
  exit 1
}

# Creates the build tree's own win64 prefix once, and starts a persistent wine server
# with its helper processes detached from our standard handles. Stops with a message when
# the prefix cannot be made or Wine cannot start a 64-bit program.
start_wine() {
  echo "setup: Wine prefix $WINEPREFIX, 32-bit code runs: $PURGEKIT_RUNS_32BIT"
  mkdir -p "$BUILD"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    WINEDEBUG=err+all wine wineboot -i </dev/null >"$BUILD/wine-start.log" 2>&1 ||
      fail_wine "the Wine prefix $WINEPREFIX could not be created"
    wineserver -w
    [ -f "$WINEPREFIX/system.reg" ] || fail_wine "wineboot left no prefix in $WINEPREFIX"
  fi
  # Exit code 2: a server of this prefix is running already (an earlier run's); keep it.
  wineserver -p || [ $? -eq 2 ]
  # cmd.exe of a win64 prefix is a 64-bit program.
  WINEDEBUG=err+all wine cmd /c exit </dev/null >"$BUILD/wine-start.log" 2>&1 ||
    fail_wine "Wine cannot start a 64-bit program (cmd /c exit failed)"
  if [ -n "${DISPLAY:-}" ]; then use_virtual_desktop; fi
}

# Without a window manager Wine draws no captions; its virtual desktop draws them, and the
# programs keep their exit codes. Set once per prefix.
use_virtual_desktop() {
  if ! grep -q '"Desktop"="Default"' "$WINEPREFIX/user.reg" 2>/dev/null; then
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f </dev/null >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f \
      </dev/null >/dev/null 2>&1
    wineserver -k || true
    wineserver -w
    wineserver -p
    wine cmd /c exit </dev/null >/dev/null 2>&1 || true
  fi
}

stop_wine() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
}
