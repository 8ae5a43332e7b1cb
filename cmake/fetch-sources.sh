#!/usr/bin/env bash
# Fetches the Debian source packages of Lua 5.3 and zlib (for its minizip) into DEST,
# through a private deb-src list and lists directory, so that the machine's own apt
# configuration stays untouched. Idempotent: does nothing once both are unpacked.
set -euo pipefail
dest=${1:?usage: fetch-sources.sh DEST}
mkdir -p "$dest"
dest=$(cd "$dest" && pwd)
if [ -f "$dest/lua/src/lua.h" ] && [ -f "$dest/zlib/contrib/minizip/unzip.c" ]; then exit 0; fi

# Take the mirror, suite and keyring of the machine's own main Debian entry.
uri= keyring= suite=
if [ -f /etc/apt/sources.list.d/debian.sources ]; then
  uri=$(awk '/^URIs:/ && $2 !~ /security/ {print $2; exit}' /etc/apt/sources.list.d/debian.sources)
  keyring=$(awk '/^Signed-By:/ {print $2; exit}' /etc/apt/sources.list.d/debian.sources)
fi
if [ -z "$uri" ] && [ -f /etc/apt/sources.list ]; then
  uri=$(awk '$1=="deb" && $0 !~ /security/ { for (i=2;i<=NF;i++) if ($i ~ /^[a-z]+:\/\//) {print $i; exit} }' /etc/apt/sources.list)
fi
[ -n "$uri" ] || { echo "fetch-sources: no Debian mirror found in the apt configuration" >&2; exit 1; }
suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
[ -n "$keyring" ] || keyring=/usr/share/keyrings/debian-archive-keyring.gpg

apt_dir="$dest/apt"
mkdir -p "$apt_dir/lists/partial"
echo "deb-src [signed-by=$keyring] $uri $suite main" > "$apt_dir/sources.list"
APT=(apt-get -q -o "Dir::Etc::SourceList=$apt_dir/sources.list" -o Dir::Etc::SourceParts=/dev/null
     -o "Dir::State::Lists=$apt_dir/lists" -o APT::Sandbox::User=root)
"${APT[@]}" update

work="$dest/download"
rm -rf "$work" && mkdir -p "$work"
(cd "$work" && "${APT[@]}" source lua5.3 zlib)
rm -rf "$dest/lua" "$dest/zlib"
mv "$(find "$work" -maxdepth 1 -type d -name 'lua5.3-*' | head -n1)" "$dest/lua"
mv "$(find "$work" -maxdepth 1 -type d -name 'zlib-*' | head -n1)" "$dest/zlib"
rm -rf "$work"
test -f "$dest/lua/src/lua.h" && test -f "$dest/zlib/contrib/minizip/unzip.c"
