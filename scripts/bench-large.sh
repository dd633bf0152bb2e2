#!/usr/bin/env bash
# Large file pairs for make bench: real binaries of this machine joined into
# one old file of 64 MiB and 256 MiB (and 1 GiB with BENCH_LARGE=1), the new
# version made by inserting, deleting or changing 1 B to 4 KiB every 64 KiB.
# Each pair is patched by morvane-cli plain and deflated, checked by the test
# applier, and timed next to xdelta3 -9 with its source window set to the
# whole old file (-B), the goal being at most 0.5 x its wall time and at
# most 2 bytes of peak memory per old byte plus 1 per new byte.
#   Sourced by scripts/bench.sh (uses its measure, add_row, cli, apply, out),
#   or run alone:  scripts/bench-large.sh [SIZE_MIB...]
#   MORVANE_CLI_BEFORE=<binary>  also times that build of morvane-cli.
#   The 1 GiB pair is also patched by the x86-64 Windows build under Wine
#   (build/wintest), which must give the same patch; with BENCH_LARGE=1 a
#   pair over 2 GiB goes through the shipped 32-bit build as well.
set -euo pipefail

large_top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# make_large_pair MIB OLD NEW: the same pair for the same size on the same
# machine (files taken in name order, edits from a fixed seed).
make_large_pair() {
  /usr/bin/python3 - "$1" "$2" "$3" <<'EOF'
import os, random, sys
mib, old_path, new_path = int(sys.argv[1]), sys.argv[2], sys.argv[3]
size = mib << 20
files = []
for top in ("/usr/lib/x86_64-linux-gnu", "/usr/bin", "/usr/lib", "/usr/libexec"):
    for root, dirs, names in os.walk(top):
        dirs.sort()
        for n in sorted(names):
            p = os.path.join(root, n)
            try:
                if os.path.islink(p) or not os.path.isfile(p) or os.path.getsize(p) < 4096:
                    continue
                with open(p, "rb") as f:
                    if f.read(4) != b"\x7fELF":
                        continue
            except OSError:
                continue
            files.append(p)
seen, old = set(), bytearray()
while len(old) < size:
    grew = False
    for p in files:
        if len(old) >= size:
            break
        st = os.stat(p)
        if (st.st_dev, st.st_ino) in seen:
            continue
        seen.add((st.st_dev, st.st_ino))
        with open(p, "rb") as f:
            old += f.read(size - len(old))
        grew = True
    if not grew:
        seen.clear()  # fewer binaries than asked for: join them again
del old[size:]
rng = random.Random(5701 + mib)
new = bytearray()
at = 0
while at < size:
    piece = min(65536, size - at)
    new += old[at:at + piece - 4096]
    n = rng.randint(1, 4096)
    kind = rng.randrange(3)
    tail = old[at + piece - 4096:at + piece]
    if kind == 0:    # insert
        new += rng.randbytes(n) + tail
    elif kind == 1:  # delete
        new += tail[n:]
    else:            # change
        new += rng.randbytes(min(n, len(tail))) + tail[n:]
    at += piece
open(old_path, "wb").write(old)
open(new_path, "wb").write(new)
EOF
}

large_winpath() { echo "Z:$1" | tr / '\\'; }

large_limits=()  # pair | peak memory allowed, KiB
large_peaks=()   # pair | tool | peak KiB

# The memory goal line of the summary.
large_memory_goal() {
  local verdict=holds parts=() row pair limit tool kib
  for row in "${large_peaks[@]}"; do
    IFS='|' read -r pair tool kib <<<"$row"
    for limit in "${large_limits[@]}"; do
      [ "${limit%%|*}" = "$pair" ] || continue
      limit=${limit#*|}
      parts+=("$pair, $tool: $(( kib / 1024 )) of $(( limit / 1024 )) MiB")
      [ "$kib" -le "$limit" ] || verdict="does not hold"
    done
  done
  [ ${#parts[@]} -gt 0 ] || return 0
  echo "Memory goal (morvane-cli on the large pairs, peak at most 2 bytes per old byte and 1 per new byte):" \
    "$verdict ($(IFS=';'; echo "${parts[*]}"))."
}

bench_large_pairs() {
  local sizes=("$@")
  if [ ${#sizes[@]} -eq 0 ]; then
    sizes=(64 256)
    [ "${BENCH_LARGE:-0}" = 1 ] && sizes+=(1024)
  fi
  local mib w old new r name
  for mib in "${sizes[@]}"; do
    name="large $mib MiB"
    w="$out/work/large-$mib"
    mkdir -p "$w"
    old="$w/old.bin" new="$w/new.bin"
    make_large_pair "$mib" "$old" "$new"
    r=$(measure "$w/ours.utp" "$cli" -q "$old" "$new" "$w/ours.utp"); add_row "$name" "morvane-cli" "$r"
    large_peaks+=("$name|morvane-cli|${r##* }")
    "$apply" "$w/ours.utp" "$old" "$w/check" && cmp -s "$w/check" "$new" ||
      { echo "bench: our $name patch does not verify" >&2; exit 1; }
    r=$(measure "$w/deflated.utp" "$cli" -q --deflate "$old" "$new" "$w/deflated.utp")
    add_row "$name" "morvane-cli --deflate" "$r"
    large_peaks+=("$name|morvane-cli --deflate|${r##* }")
    "$apply" "$w/deflated.utp" "$old" "$w/check" && cmp -s "$w/check" "$new" ||
      { echo "bench: our deflated $name patch does not verify" >&2; exit 1; }
    rm -f "$w/check"
    # The largest pair also through the Windows build under Wine, where the
    # shipped program meets it: the same patch, within the same memory.
    if [ "$mib" -ge 1024 ] && [ -n "${wincli:-}" ] && [ -f "$wincli" ]; then
      r=$(measure "$w/wine.utp" "$large_top/scripts/wine-run" "$wincli" -q "$(large_winpath "$old")" \
        "$(large_winpath "$new")" "$(large_winpath "$w/wine.utp")")
      add_row "$name" "morvane-cli.exe (Wine)" "$r"
      large_peaks+=("$name|morvane-cli.exe (Wine)|${r##* }")
      cmp -s "$w/wine.utp" "$w/ours.utp" || { echo "bench: the Windows build made a different $name patch" >&2; exit 1; }
      rm -f "$w/wine.utp"
    fi
    if [ -n "${MORVANE_CLI_BEFORE:-}" ]; then
      r=$(measure "$w/before.utp" "$MORVANE_CLI_BEFORE" -q "$old" "$new" "$w/before.utp")
      add_row "$name" "morvane-cli (before)" "$r"
      r=$(measure "$w/before-z.utp" "$MORVANE_CLI_BEFORE" -q --deflate "$old" "$new" "$w/before-z.utp")
      add_row "$name" "morvane-cli --deflate (before)" "$r"
    fi
    r=$(measure "$w/x.xd3" xdelta3 -9 -B "$(stat -c %s "$old")" -f -e -s "$old" "$new" "$w/x.xd3")
    add_row "$name" "xdelta3 -9" "$r"
    # Peak memory goal: 2 bytes per old byte and 1 per new byte.
    large_limits+=("$name|$(( ($(stat -c %s "$old") * 2 + $(stat -c %s "$new")) / 1024 ))")
    rm -f "$old" "$new"
  done
  if [ "${BENCH_LARGE:-0}" = 1 ]; then bench_large_win32; fi
}

# The shipped 32-bit morvane-cli.exe (build/win32) under the 32-bit Wine of
# scripts/wine32-setup.sh, on a pair larger than 2 GiB: a 1000 MiB old file
# and its new version with 64 MiB more. No free block of a 32-bit process
# holds the pair, each file fits in one; the patch must be the native one.
# (The emulator's own libraries leave about 1000 MiB below the 2 GiB line,
# so a 1 GiB old file does not fit there.)
bench_large_win32() {
  local w="$out/work/large-win32" name="large 1000+1064 MiB" root r
  root=$(bash "$large_top/scripts/wine32-setup.sh" --print) || { echo "bench: no 32-bit Wine" >&2; exit 1; }
  (cd "$large_top" && cmake --preset win32 >/dev/null && cmake --build --preset win32 --target morvane-cli -j 3 >/dev/null)
  mkdir -p "$w"
  make_large_pair 1000 "$w/old.bin" "$w/new.bin"
  head -c $((64 << 20)) "$w/old.bin" >>"$w/new.bin"
  r=$(measure "$w/ours.utp" "$cli" -q "$w/old.bin" "$w/new.bin" "$w/ours.utp"); add_row "$name" "morvane-cli" "$r"
  r=$(measure "$w/w32.utp" env MORVANE_WINE32=1 MORVANE_WINE32_ROOT="$root" MORVANE_BUILD_DIR="$large_top/build/win32" \
    "$large_top/scripts/wine-run" "$large_top/build/win32/cli/morvane-cli.exe" -q "$(large_winpath "$w/old.bin")" \
    "$(large_winpath "$w/new.bin")" "$(large_winpath "$w/w32.utp")")
  add_row "$name" "morvane-cli.exe (32-bit, emulated)" "$r"
  cmp -s "$w/w32.utp" "$w/ours.utp" || { echo "bench: the 32-bit build made a different $name patch" >&2; exit 1; }
  "$apply" "$w/w32.utp" "$w/old.bin" "$w/check" && cmp -s "$w/check" "$w/new.bin" ||
    { echo "bench: the 32-bit build's $name patch does not verify" >&2; exit 1; }
  rm -rf "$w"
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  # Alone: a small table of its own.
  cd "$large_top"
  RUNS=${RUNS:-1}
  cmake --preset native-release >/dev/null
  cmake --build --preset native-release --target morvane-cli morvane-apply -j 3 >/dev/null
  out="$large_top/build/bench-large"
  rm -rf "$out" && mkdir -p "$out/work"
  cli="${MORVANE_CLI:-$large_top/build/native-release/cli/morvane-cli}"
  # The Windows build for the 1 GiB pair (BENCH_LARGE=1 or a size of 1024).
  wincli=
  if [ "${BENCH_LARGE:-0}" = 1 ] || printf '%s\n' "$@" | grep -qx '1024'; then
    cmake --preset wintest >/dev/null
    cmake --build --preset wintest --target morvane-cli -j 3 >/dev/null
    wincli="$large_top/build/wintest/cli/morvane-cli.exe"
    export MORVANE_BUILD_DIR="$large_top/build/wintest"
  fi
  apply="$large_top/build/native-release/tests/tools/applier/morvane-apply"
  . "$large_top/scripts/bench-measure.sh"
  rows=()
  add_row() { rows+=("$1|$2|$3"); }
  bench_large_pairs "$@"
  declare -A xd
  for row in "${rows[@]}"; do
    IFS='|' read -r pair tool fig <<<"$row"
    [ "$tool" = "xdelta3 -9" ] && xd[$pair]=$(echo "$fig" | cut -d' ' -f2)
  done
  echo "| pair | tool | patch bytes | median s | time vs xdelta3 -9 -B | peak MiB |"
  echo "|---|---|---:|---:|---:|---:|"
  for row in "${rows[@]}"; do
    IFS='|' read -r pair tool fig <<<"$row"
    read -r size secs kib <<<"$fig"
    printf '| %s | %s | %d | %.2f | %s | %.1f |\n' "$pair" "$tool" "$size" "$secs" \
      "$(awk -v a="$secs" -v b="${xd[$pair]}" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }')" \
      "$(echo "$kib / 1024" | bc -l)"
  done | tee "$out/results.md"
  large_memory_goal | tee -a "$out/results.md"
fi
