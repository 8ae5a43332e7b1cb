# Shared by the tools: where the build lives and how Wine is set up for it.
REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${PURGEKIT_BUILD_DIR:-$REPO/build}
export WINEPREFIX="$BUILD/wineprefix"
export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

build_all() {
  bash "$REPO/tools/setup.sh"
  cmake -S "$REPO" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$BUILD" -j "$(nproc)"
}

# Creates the build tree's own win64 prefix once, and starts a persistent wine server
# with its helper processes detached from our standard handles.
start_wine() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i </dev/null >/dev/null 2>&1 || true
    wineserver -w
  fi
  wineserver -p
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
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

stop_wine() { wineserver -k 2>/dev/null || true; }
