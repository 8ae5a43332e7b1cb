#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine, when it is missing.
# Safe to run again: it only installs what is not there yet.
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
export DEBIAN_FRONTEND=noninteractive

have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

BASE_PKGS=(cmake make python3 dpkg-dev g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
           binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 libz-mingw-w64-dev googletest
           xvfb xauth wine wine64 imagemagick wixl msitools locales)
missing=()
for p in "${BASE_PKGS[@]}"; do have_pkg "$p" || missing+=("$p"); done

updated=0
apt_update() {
  if [ "$updated" -eq 0 ]; then
    # The security suite's index for a foreign architecture is sometimes mid-sync;
    # the main suite is what we need, so a partial failure is tolerated.
    $SUDO apt-get update -q || echo "setup: apt-get update reported a problem, going on" >&2
    updated=1
  fi
}

if [ "${#missing[@]}" -gt 0 ]; then
  apt_update
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# 32-bit Wine, so that the 32-bit program runs in WoW64 inside a win64 prefix.
# Packages marked Multi-Arch: same must carry one version in both architectures, so
# the versions are taken from the main suite for both.
if ! have_pkg wine32:i386 && [ "${PURGEKIT_NO_WINE32:-0}" != 1 ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    updated=0
  fi
  apt_update
  gst_ver=$(apt-cache madison libgstreamer-plugins-base1.0-0 | awk -F'|' '/bookworm\/main amd64/ {gsub(/ /,"",$2); print $2; exit}')
  extra=()
  if [ -n "$gst_ver" ] && apt-cache madison libgstreamer-plugins-base1.0-0:i386 | grep -q " $gst_ver "; then
    extra=("libgstreamer-plugins-base1.0-0=$gst_ver" "libgstreamer-plugins-base1.0-0:i386=$gst_ver")
  fi
  if ! $SUDO apt-get install -y -q --no-install-recommends --allow-downgrades -t bookworm \
        wine wine64 libwine libwine:i386 wine32:i386 "${extra[@]}"; then
    echo "setup: 32-bit Wine could not be installed; tests that need it will be skipped" >&2
  fi
  # The attempt must never cost us the 64-bit Wine.
  if ! have_pkg wine64; then
    $SUDO apt-get install -y -q --no-install-recommends wine wine64
  fi
fi
echo "setup: done"
