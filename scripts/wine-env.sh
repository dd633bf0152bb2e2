# Sourced by wine-run and wine-session: the Wine settings of every run.
#
# Most suites run the x86-64 build of the Windows code in a 64-bit prefix:
# the kernels of these machines cannot execute Wine's 32-bit loader, and a
# 64-bit program sees HKLM unredirected.  With MORVANE_WINE32=1 (the 32-bit
# build's suites) the loader is the one scripts/wine32-setup.sh makes: the
# prefix is still a 64-bit one, but each 32-bit program in it runs under
# user-mode emulation.
: "${MORVANE_BUILD_DIR:=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/wintest}"
export WINEPREFIX="${WINEPREFIX:-$MORVANE_BUILD_DIR/wineprefix}"
export WINEARCH=win64
WINE=/usr/lib/wine/wine64
if [ "${MORVANE_WINE32:-0}" = 1 ]; then
  if [ -z "${MORVANE_WINE32_ROOT:-}" ]; then
    MORVANE_WINE32_ROOT=$(bash "$(dirname "${BASH_SOURCE[0]}")/wine32-setup.sh" --print) || exit 1
    export MORVANE_WINE32_ROOT
  fi
  WINE=$MORVANE_WINE32_ROOT/usr/lib/wine/wine64
fi
export WINESERVER=/usr/lib/wine/wineserver64
wineserver() { "$WINESERVER" "$@"; }
# A test may ask for its own channels (WINEDEBUG in its ctest environment).
export WINEDEBUG="${WINEDEBUG:--all}"
# The Xvfb screen and the virtual desktop have this size, so a screenshot of
# the root window shows the whole desktop.
MORVANE_SCREEN=1280x1024
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=;mshtml="

# Creates the prefix on first use; concurrent callers wait for it.
wine_prefix_ready() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      echo "wine: creating prefix $WINEPREFIX" >&2
      DISPLAY= "$WINE" wineboot -i >/dev/null 2>&1 || true
      wineserver -w
      [ -f "$WINEPREFIX/system.reg" ] || { echo "wine: prefix creation failed" >&2; exit 1; }
    fi
    # Windowed programs run inside one virtual desktop of the Xvfb screen's
    # size: on a bare Xvfb without a window manager Wine spends about 2 s on
    # every show or hide of a top-level window, inside the desktop it does
    # not.  Prefixes made before this get the setting on their next use.
    if [ ! -f "$WINEPREFIX/.morvane-desktop" ]; then
      DISPLAY= "$WINE" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1 &&
      DISPLAY= "$WINE" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$MORVANE_SCREEN" /f >/dev/null 2>&1 ||
        { echo "wine: cannot set the virtual desktop" >&2; exit 1; }
      wineserver -w
      touch "$WINEPREFIX/.morvane-desktop"
    fi
    # Wine links the user's Desktop, Documents, ... to the Unix home: a
    # test's desktop link would land in the CI user's home.  Plain folders
    # keep everything inside the prefix.
    local d
    for d in "$WINEPREFIX"/drive_c/users/*/{Desktop,Documents,Downloads,Music,Pictures,Videos}; do
      if [ -L "$d" ]; then rm -f "$d" && mkdir -p "$d"; fi
    done
  ) 9>"$WINEPREFIX.lock"
}

# Starts a private Xvfb; sets XVFB_PID and XVFB_DISPLAY (":N").
start_xvfb() {
  local fifo disp
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 ${MORVANE_SCREEN}x24 -nolisten tcp -noreset 3>"$fifo" >/dev/null 2>&1 &
  XVFB_PID=$!
  read -r disp <"$fifo"
  rm -f "$fifo"
  XVFB_DISPLAY=":$disp"
}
