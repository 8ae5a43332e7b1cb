# The fence for hostile calls of the real programs. Sourced by a test script, with all of the
# script's arguments, as its first command after `set`: the script starts again inside the
# fence, and what follows the `.` line runs there.
#
# Usage: . Fence.sh "$@"   (the script's first argument: the fence's folder in the build tree,
#                            made if missing)
#
# How it is fenced:
# - A mount namespace of its own (unshare --mount, private propagation). In it every mount is
#   bound read-only except FENCE_DIR, so a write anywhere else fails with EROFS; /tmp and
#   /dev/shm are private tmpfs mounts (the Wine server's socket and shared memory live there).
#   The checkout, the script's other arguments and FENCE_DIR are seen at their own paths
#   even where they lie below /tmp: bound back into the private /tmp, read-only but FENCE_DIR.
# - A Wine prefix of its own, FENCE_DIR/prefix, whose wineserver starts inside the namespace:
#   under Wine, deletions are carried out by the server process as well as by the client.
# - The prefix's z: link (the host's /) is removed; D: is a link to FENCE_DIR/d, the scratch
#   drive for cases at a drive's root; C: is the prefix's own drive_c.
# - Before the caller goes on, the fence is proven: a file written outside FENCE_DIR, from the
#   shell and from a Wine program, must fail to appear, and z: must be gone.
#
# Given to the caller: FENCE_DIR, FENCE_D (the folder of D:), WINEPREFIX, and the functions
# wine, fence_start_server, fence_stop_server, fence_restart_server.

if [ "${PURGEKIT_FENCE_INSIDE:-}" != "$1" ]; then
  export PURGEKIT_FENCE_INSIDE=$1
  mkdir -p "$1" || { echo "FAIL: cannot make $1"; exit 1; }
  exec unshare --mount --propagation private -- bash "$0" "$@"
fi

FENCE_DIR=$(cd "$1" && pwd -P)
fence_fail() { echo "FAIL (fence): $*"; exit 1; }

# Only FENCE_DIR stays writable: bound onto itself first, so that it is a mount of its own,
# then every other writable mount is made read-only (deepest first does not matter: the flag
# is per mount).
mount --bind "$FENCE_DIR" "$FENCE_DIR" || fence_fail "cannot bind $FENCE_DIR"
while read -r _ _ _ _ point options _; do
  point=$(printf '%b' "$point")  # mountinfo escapes blanks as \040
  case "$point" in "$FENCE_DIR" | /dev/pts | /dev/pts/*) continue ;; esac
  case ",$options," in *,ro,*) continue ;; esac
  # Only ever the bind flag of this namespace's mount, never the file system itself.
  mount -o remount,bind,ro "$point" 2>/dev/null || fence_fail "cannot make $point read-only"
done </proc/self/mountinfo
mount -t tmpfs -o mode=1777 fence-shm /dev/shm || fence_fail "no private /dev/shm"
# The private /tmp covers whatever lies below the host's /tmp, and a checkout, a build tree
# or FENCE_DIR itself may: those are bound back into it from the host's /tmp, seen for a
# moment through a bind in the private /dev/shm. What is bound back stays read-only, except
# FENCE_DIR.
fence_source=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd -P)
fence_kept=("$fence_source")
for arg in "${@:2}"; do
  [ -e "$arg" ] && fence_kept+=("$(realpath "$arg")")
done
fence_kept+=("$FENCE_DIR")
host_tmp=/dev/shm/host-tmp
mkdir "$host_tmp" && mount --rbind /tmp "$host_tmp" || fence_fail "cannot reach the host's /tmp"
mount -t tmpfs -o mode=1777 fence-tmp /tmp || fence_fail "no private /tmp"
# Sorted, a folder comes before what lies below it; what lies below a path bound back already
# came with it, with the mounts below it (FENCE_DIR's own among them, writable).
bound=()
while IFS= read -r kept; do
  case "$kept" in /tmp/*) ;; *) continue ;; esac
  for outer in "${bound[@]}"; do
    case "$kept" in "$outer"/*) continue 2 ;; esac
  done
  bound+=("$kept")
  if [ -d "$host_tmp/${kept#/tmp/}" ]; then
    mkdir -p "$kept"
  else
    mkdir -p "$(dirname "$kept")" && touch "$kept"
  fi || fence_fail "cannot make $kept in the private /tmp"
  mount --rbind "$host_tmp/${kept#/tmp/}" "$kept" || fence_fail "cannot bind $kept back"
  [ "$kept" = "$FENCE_DIR" ] && continue
  mount -o remount,bind,ro "$kept" || fence_fail "cannot make $kept read-only"
done < <(printf '%s\n' "${fence_kept[@]}" | LC_ALL=C sort -u)
umount -R "$host_tmp" && rmdir "$host_tmp" || fence_fail "the host's /tmp is still reachable"

# Wine, as the tools start it, on a prefix of the fence's own.
BUILD=$FENCE_DIR
. "$fence_source/tools/wine-env.sh"
export WINEPREFIX="$FENCE_DIR/prefix"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export HOME="$FENCE_DIR/home"
mkdir -p "$HOME"
wine() { "$PURGEKIT_WINE" "$@"; }
FENCE_D="$FENCE_DIR/d"

fence_start_server() {
  wineserver -p
  wine cmd /c exit </dev/null >/dev/null 2>&1
}
fence_stop_server() {
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
}
# Wine carries out the pending file operations when its server next starts.
fence_restart_server() {
  fence_stop_server
  fence_start_server
}
trap fence_stop_server EXIT

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wine wineboot -i </dev/null >"$FENCE_DIR/wineboot.log" 2>&1
  wineserver -w
  [ -f "$WINEPREFIX/system.reg" ] || fence_fail "no Wine prefix in $WINEPREFIX"
fi
rm -f "$WINEPREFIX/dosdevices/z:"
mkdir -p "$FENCE_D"
ln -sfn "$FENCE_D" "$WINEPREFIX/dosdevices/d:"
fence_start_server

# The proof: nothing written outside FENCE_DIR appears, from the shell or from Wine.
probe_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
probe="$probe_dir/.fence-probe-$$"
if touch "$probe" 2>/dev/null || [ -e "$probe" ]; then
  rm -f "$probe"
  fence_fail "the source tree is writable inside the fence"
fi
for outside in /root /var/tmp /; do
  if touch "$outside/.fence-probe-$$" 2>/dev/null; then
    rm -f "$outside/.fence-probe-$$"
    fence_fail "$outside is writable inside the fence"
  fi
done
[ -e "$WINEPREFIX/dosdevices/z:" ] && fence_fail "z: is still there"
# The last mount listed on a mount point is the one on top.
for private in tmp shm; do
  point=/tmp
  [ $private = shm ] && point=/dev/shm
  [ "$(findmnt -n -o SOURCE --mountpoint "$point" | tail -n 1)" = "fence-$private" ] ||
    fence_fail "$point is not the fence's own"
done
# The target as a word of its own, which Wine quotes for cmd: a blank in the folder's path
# would end it.
wine cmd /c echo x ">" "\\\\?\\unix$probe_dir/.fence-probe-wine-$$" </dev/null >/dev/null 2>&1
if [ -e "$probe_dir/.fence-probe-wine-$$" ]; then
  fence_fail "a Wine program wrote outside the fence"
fi
wine cmd /c "echo x> D:\\fence-probe.txt" </dev/null >/dev/null 2>&1
[ -f "$FENCE_D/fence-probe.txt" ] || fence_fail "D: is not the fence's scratch drive"
rm -f "$FENCE_D/fence-probe.txt"
echo "fence: only $FENCE_DIR is writable; Wine prefix $WINEPREFIX without z:, D: is $FENCE_D"
