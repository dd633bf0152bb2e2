#!/usr/bin/env bash
# Installs what the build, the tests, the demo and the benchmark need on a
# Debian 12 machine (run as root).  Idempotent: when everything is there it
# installs nothing and returns in a moment.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)

packages=(
  cmake ninja-build g++ make pkg-config clang libclang-rt-14-dev
  mingw-w64 g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
  wine wine64 xvfb xauth x11-utils imagemagick
  zlib1g-dev libz-mingw-w64-dev libminizip-dev libgtest-dev googletest
  dpkg-dev unzip zip gzip time bc
  python3-aiosmtpd python3-dbfread python3-pil python3-pyftpdlib lighttpd
  giflib-tools xdotool
  xdelta3 bsdiff zstd
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

updated=0
apt_update() {
  if [ $updated -eq 0 ]; then
    as_root apt-get update -q >/dev/null
    updated=1
  fi
}

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = "installed" ] || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "deps: installing ${missing[*]}"
  apt_update
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
fi

# minizip for the Windows build is compiled from Debian's source package.
src="$top/build/_src/minizip"
if [ ! -f "$src/zip.c" ]; then
  list=/etc/apt/sources.list.d/morvane-deb-src.sources
  if [ ! -f "$list" ]; then
    suites=$(. /etc/os-release && echo "$VERSION_CODENAME")
    as_root tee "$list" >/dev/null <<SRC
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $suites
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
    updated=0
  fi
  apt_update
  work="$top/build/_src/fetch"
  rm -rf "$work" && mkdir -p "$work"
  (cd "$work" && apt-get source -q minizip >/dev/null 2>&1) || { echo "deps: apt-get source minizip failed" >&2; exit 1; }
  dir=$(find "$work" -maxdepth 1 -mindepth 1 -type d -name 'minizip*' | head -n 1)
  zipc=$(find "$dir" -name zip.c -not -path '*/debian/*' | head -n 1)
  [ -n "$zipc" ] || { echo "deps: zip.c not found in the minizip source" >&2; exit 1; }
  rm -rf "$src" && mkdir -p "$src"
  cp "$(dirname "$zipc")"/*.c "$(dirname "$zipc")"/*.h "$src"/
  rm -rf "$work"
fi
