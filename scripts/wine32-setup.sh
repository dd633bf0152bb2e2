#!/usr/bin/env bash
# wine32-setup.sh: makes the shipped 32-bit programs runnable on this machine.
#
# The kernels of our build and CI machines refuse 32-bit code, so Debian's
# 32-bit Wine cannot start as installed.  It runs under qemu's user-mode
# emulation instead: Debian 12's own i386 Wine packages (the version of the
# installed 64-bit Wine) are fetched by name with a private apt state and
# unpacked into a folder of their own (no i386 dpkg architecture, nothing
# installed), and the 32-bit loader is replaced by a wrapper that starts the
# real one under qemu-i386 from bookworm-backports (Debian 12's own qemu is
# far too slow: it searches for free address space page by page on every
# mmap of Wine's large reservations).  A copy of the 64-bit loader beside the
# wrapper makes one WoW64 prefix: its services and 64-bit programs run
# natively, only the 32-bit program is emulated.
#
# Everything lands in $MORVANE_WINE32_CACHE (default /var/cache/morvane, or
# ~/.cache/morvane when that is not writable), keyed by the Wine and qemu
# versions, so a fresh clone on the same machine downloads nothing.
#
#   scripts/wine32-setup.sh           set up (idempotent), print nothing when ready
#   scripts/wine32-setup.sh --print   also print the folder of the result
# Exit 0 ready; 1 with a message naming what failed.
set -uo pipefail

fail() { echo "wine32-setup: FAILED: $*" >&2; exit 1; }
say() { echo "wine32-setup: $*" >&2; }

if [ -z "${MORVANE_WINE32_CACHE:-}" ]; then
  MORVANE_WINE32_CACHE=/var/cache/morvane
  { mkdir -p "$MORVANE_WINE32_CACHE" && [ -w "$MORVANE_WINE32_CACHE" ]; } 2>/dev/null ||
    MORVANE_WINE32_CACHE=${XDG_CACHE_HOME:-$HOME/.cache}/morvane
fi
mkdir -p "$MORVANE_WINE32_CACHE" || fail "cannot make $MORVANE_WINE32_CACHE"

# Every Wine run of the 32-bit suites comes through here: the installed
# Wine is asked for its version itself, not the dpkg database, which other
# jobs' apt runs change under our feet.
WINE64_HOST=/usr/lib/wine/wine64
DLLDIR64=/usr/lib/x86_64-linux-gnu/wine
KEYRING=/usr/share/keyrings/debian-archive-keyring.gpg
[ -x "$WINE64_HOST" ] || fail "wine64 is not installed (make deps)"
[ -d "$DLLDIR64" ] || fail "libwine (amd64) is not installed (make deps)"
[ -f "$KEYRING" ] || fail "debian-archive-keyring is not installed"
# "wine-8.0 (Debian 8.0~repack-4)": the Debian version of the 64-bit Wine
WINEVER=$("$WINE64_HOST" --version 2>/dev/null | sed -n 's/.*(Debian \(.*\)).*/\1/p')
[ -n "$WINEVER" ] || fail "cannot tell the Debian version of $WINE64_HOST ($("$WINE64_HOST" --version 2>&1))"
. /etc/os-release
SUITE=${VERSION_CODENAME:-bookworm}

base=$MORVANE_WINE32_CACHE/wine32-$WINEVER
R=$base/root
QDIR=$MORVANE_WINE32_CACHE/qemu-user
mkdir -p "$base" "$QDIR" || fail "cannot make $base"

# One set-up at a time; later callers find it done.
exec 8>"$MORVANE_WINE32_CACHE/.lock"
flock 8

# apt with its own lists, cache and empty package status below DIR: it
# changes nothing of the system's apt or dpkg state.
private_apt() {  # DIR ARCH SOURCES...   sets APTO
  local d=$1 arch=$2; shift 2
  mkdir -p "$d/lists/partial" "$d/cache/archives/partial"
  : >"$d/status"
  printf '%s\n' "$@" >"$d/sources.list"
  APTO=(-o "Dir::Etc::SourceList=$d/sources.list" -o Dir::Etc::SourceParts=/dev/null
        -o Dir::Etc::Preferences=/dev/null -o Dir::Etc::PreferencesParts=/dev/null
        -o "Dir::State::Lists=$d/lists" -o "Dir::Cache=$d/cache" -o "Dir::State::status=$d/status"
        -o "APT::Architecture=$arch" -o "APT::Architectures::=$arch" -o Debug::NoLocking=1)
}
# Names the packages apt could not fetch, from its log.
failed_packages() {
  grep -Eo '(Failed to fetch|Unable to locate package|Version .* for .* was not found|E: Package .*)[^ ]* *[^ ]*' "$1" |
    sed -E 's#.*/([^/_]+)_[^ ]*\.deb.*#\1#' | sort -u | tr '\n' ' '
}

# ---------------------------------------------------------------- qemu-i386
QEMU=$QDIR/root/usr/bin/qemu-i386
if ! "$QEMU" --version >/dev/null 2>&1; then
  say "fetching qemu-user from $SUITE-backports into $QDIR"
  A=$QDIR/apt
  private_apt "$A" amd64 "deb [signed-by=$KEYRING] http://deb.debian.org/debian $SUITE-backports main"
  apt-get "${APTO[@]}" update -q >"$A/update.log" 2>&1 ||
    say "apt-get update of the backports list reported errors (see $A/update.log)"
  rm -rf "$A/dl" && mkdir -p "$A/dl"
  (cd "$A/dl" && apt-get "${APTO[@]}" download -q "qemu-user/$SUITE-backports" >"$A/download.log" 2>&1) ||
    fail "download of the package qemu-user from $SUITE-backports (see $A/download.log)"
  rm -rf "$QDIR/root.new" && dpkg-deb -x "$A"/dl/qemu-user_*.deb "$QDIR/root.new" ||
    fail "unpacking the package qemu-user"
  "$QDIR/root.new/usr/bin/qemu-i386" --version >/dev/null 2>&1 || fail "the unpacked qemu-i386 does not run"
  rm -rf "$QDIR/root" && mv "$QDIR/root.new" "$QDIR/root"
  rm -rf "$A/dl"
fi

# ---------------------------------------------------------------- 32-bit Wine
if [ "$(cat "$R/.morvane-wine32" 2>/dev/null)" != "$WINEVER" ]; then
  say "fetching Debian's 32-bit Wine $WINEVER (wine32:i386 and its dependencies) into $base"
  A=$base/apt
  private_apt "$A" i386 \
    "deb [arch=i386 signed-by=$KEYRING] http://deb.debian.org/debian $SUITE main" \
    "deb [arch=i386 signed-by=$KEYRING] http://deb.debian.org/debian $SUITE-updates main" \
    "deb [arch=i386 signed-by=$KEYRING] http://deb.debian.org/debian-security $SUITE-security main"
  # The security archive's i386 list is at times served with the wrong size;
  # the main lists carry this Wine, so that error alone does not stop us.
  updated=1
  apt-get "${APTO[@]}" update -q >"$A/update.log" 2>&1 || {
    updated=0
    say "apt-get update of the i386 lists reported errors (see $A/update.log); going on with the lists it got"
  }
  if ! apt-cache "${APTO[@]}" show "wine32=$WINEVER" >/dev/null 2>&1; then
    # apt-get update says "Failed to fetch" yet may end with success.
    grep -q 'Failed to fetch' "$A/update.log" && updated=0
    [ $updated = 1 ] || fail "download of the i386 package lists, which name the package wine32:i386 (see $A/update.log)"
    fail "the archive has no package wine32:i386 $WINEVER (the version of the installed 64-bit Wine); see $A/update.log"
  fi
  DEBIAN_FRONTEND=noninteractive apt-get "${APTO[@]}" install -d -y -q "wine32=$WINEVER" "libwine=$WINEVER" \
    >"$A/download.log" 2>&1 ||
    fail "download of the package(s) $(failed_packages "$A/download.log")for wine32:i386 (see $A/download.log)"
  new=$base/root.new
  rm -rf "$new" && mkdir -p "$new"
  n=0
  for deb in "$A"/cache/archives/*.deb; do
    dpkg-deb -x "$deb" "$new" || fail "unpacking the package $(basename "$deb")"
    n=$((n + 1))
  done
  [ -x "$new/usr/lib/wine/wine" ] || fail "no 32-bit Wine loader in the unpacked packages"
  # What libwine's postinst does: Wine's zlib1.dll from libz-mingw-w64,
  # marked as a builtin.
  for a in i686:i386 x86_64:x86_64; do
    in=$new/usr/${a%%:*}-w64-mingw32/lib/zlib1.dll out=$new/usr/lib/i386-linux-gnu/wine/${a##*:}-windows/zlib1.dll
    [ -f "$in" ] || fail "no $in (the package libz-mingw-w64 was not unpacked)"
    mkdir -p "$(dirname "$out")"
    { head -c 64 "$in"; printf 'Wine builtin DLL'; head -c 16 /dev/zero; tail -c +97 "$in"; } >"$out"
  done
  # The emulated dynamic loader finds the root's libraries (Wine dlopens
  # FreeType, X11, ... by soname) through the root's own cache.
  echo 'include /etc/ld.so.conf.d/*.conf' >"$new/etc/ld.so.conf"
  ldconfig -r "$new" || fail "ldconfig -r $new"
  # Every 32-bit Wine process, and each one Wine starts through the same
  # path, runs in the emulator.  The wrapper names the final folder.
  mv "$new/usr/lib/wine/wine" "$new/usr/lib/wine/wine.bin"
  cat >"$new/usr/lib/wine/wine" <<EOF
#!/bin/sh
exec "$QEMU" -L "$R" -0 "\$0" "$R/usr/lib/wine/wine.bin" "\$@"
EOF
  chmod +x "$new/usr/lib/wine/wine"
  # WoW64: a copy (Wine takes its bin folder from the real path, so not a
  # link) of the 64-bit loader beside the wrapper; its libraries are the
  # system's.
  cp "$WINE64_HOST" "$new/usr/lib/wine/wine64"
  mkdir -p "$new/usr/lib/x86_64-linux-gnu"
  ln -sfn "$DLLDIR64" "$new/usr/lib/x86_64-linux-gnu/wine"
  echo "$WINEVER" >"$new/.morvane-wine32"
  rm -rf "$R" && mv "$new" "$R"
  rm -f "$A"/cache/archives/*.deb
  say "$n packages unpacked"
fi
"$QEMU" -L "$R" "$R/usr/lib/wine/wine.bin" --version >/dev/null 2>&1 ||
  fail "the 32-bit Wine loader does not start under $QEMU"
[ "${1:-}" = --print ] && echo "$R"
exit 0
