#!/usr/bin/env bash
# run-win32-suites.sh: runs the shipped 32-bit programs of build/win32 as
# users get them, under the 32-bit Wine of scripts/wine32-setup.sh (user-mode
# emulation: these machines' kernels refuse 32-bit code):
#   - their PE headers (i386, large-address-aware),
#   - the recorded patch CRC table through the 32-bit morvane-cli.exe,
#   - the whole-program suite of Morvane32.exe (pick, patch, check the patch),
#   - the setup distribution built by the 32-bit "setup.exe -b", installed
#     and uninstalled by the 32-bit setup.exe.
# The drivers of the last two are the whole-program and setup suites built
# for i686 (preset win32test), run against the programs of build/win32: a
# 32-bit driver sees what the 32-bit programs see in the WoW64 prefix (the
# 32-bit views of Program Files and HKLM\Software, 32-bit list-view items
# in their memory).  Their helper tools (the stand-ins, the slow packer, the
# files the distribution packs) are taken from build/win32test into
# build/win32, where the 32-bit setup.exe looks for them.
# Ends with "N passed, N failed"; exit 0 only when everything passed.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
w32=$top/build/win32
drv=$top/build/win32test
LIMIT=${MORVANE_WIN32_LIMIT:-1200}  # seconds for one suite

if [ -z "${MORVANE_WINE_SESSION:-}" ]; then
  for f in app/Morvane32.exe cli/morvane-cli.exe installer/setup/setup.exe; do
    [ -f "$w32/$f" ] || { echo "win32 suites: no $w32/$f (make build-win32)" >&2; exit 1; }
  done
  for f in tests/appe2e/appe2e_test.exe tests/setup/setup_dist_test.exe tests/setup/setup_install_test.exe setupfiles; do
    [ -e "$drv/$f" ] || { echo "win32 suites: no $drv/$f (make build-win32test)" >&2; exit 1; }
  done
  root=$(bash "$top/scripts/wine32-setup.sh" --print) || exit 1
  export MORVANE_WINE32=1 MORVANE_WINE32_ROOT=$root
  # A prefix made by the 64-bit-only Wine has no 32-bit half.
  if [ -f "$w32/wineprefix/system.reg" ] && [ ! -f "$w32/wineprefix/drive_c/windows/syswow64/kernel32.dll" ]; then
    rm -rf "$w32/wineprefix"
  fi
  stage() {  # FROM TO
    mkdir -p "$(dirname "$2")" && cp -f "$1" "$2"
  }
  for f in tests/appe2e/appe2e_slowpack.exe tests/tools/applierstandin/Wendle.exe \
           tests/tools/applierstandin/Wendl32.exe tests/tools/uninstall/uninstall.exe \
           tests/support/display-ready.exe; do
    stage "$drv/$f" "$w32/$f" || exit 1
  done
  rm -rf "$w32/setupfiles" "$w32/setupkit" "$w32/dist"
  cp -a "$drv/setupfiles" "$w32/setupfiles" && cp -a "$drv/setupkit" "$w32/setupkit" &&
    cp -f "$w32/app/Morvane32.exe" "$w32/setupfiles/Morvane32.exe" || exit 1
  MORVANE_BUILD_DIR=$w32 exec "$top/scripts/wine-session" bash "$0" "$@"
fi

if [ "${1:-}" = --driver ]; then  # NAME FOLDER [ARGS]: one suite of build/win32test, as ctest runs it
  name=$2 dir=$3; shift 3
  mkdir -p "$w32/$dir" "$w32/test-tmp/$name" && cd "$w32/$dir" || exit 1
  MORVANE_SOURCE_DIR=$top MORVANE_BUILD_DIR=$w32 MORVANE_TEST_TMP=$w32/test-tmp/$name \
    exec "$top/scripts/wine-run" --display "$drv/$dir/$name.exe" "$@"
fi

logs=$w32/win32-suites
rm -rf "$logs" "$w32/test-tmp" && mkdir -p "$logs"
passed=0 failed=0
step() {  # NAME COMMAND...: one suite, its time and its verdict
  local name=$1 s e rc; shift
  s=$(date +%s)
  timeout "$LIMIT" "$@" >"$logs/$name.log" 2>&1
  rc=$?
  e=$(( $(date +%s) - s ))
  if [ $rc -eq 0 ]; then
    passed=$((passed + 1))
    echo "win32 suite $name: Passed ($e s)"
  else
    failed=$((failed + 1))
    echo "win32 suite $name: FAILED, exit $rc ($e s); the end of $logs/$name.log:"
    tail -n 40 "$logs/$name.log"
  fi
}

start=$(date +%s)
step exe_header /usr/bin/python3 "$top/tests/win32/check_exe_header.py" i386 \
  "$w32/app/Morvane32.exe" "$w32/installer/setup/setup.exe" "$w32/cli/morvane-cli.exe"
step patch_crcs bash "$top/scripts/patch-crcs.sh" --wine "$w32"
step appe2e_test bash "$0" --driver appe2e_test tests/appe2e
step setup_dist_test bash "$0" --driver setup_dist_test tests/setup
# The install and uninstall by the 32-bit setup.exe; the suite's in-process
# cases of the setup form expect the x86-64 build's folders (a 32-bit
# program's Program Files is "Program Files (x86)") and run in wintest.
step setup_install_test bash "$0" --driver setup_install_test tests/setup --gtest_filter='SetupRun.*'
echo "win32 suites: $(( $(date +%s) - start )) s"
echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
