#!/usr/bin/env bash
# CRC-32 of the patches the engine makes from the benchmark pairs and trees and from
# generated degenerate inputs (default and tight walk bounds), one
# "crc name" line each, checked against tests/engwarp/patch-crcs.txt: speed
# work on the engine must not change a byte of its output.
#   scripts/patch-crcs.sh           compare, exit 1 on a difference
#   scripts/patch-crcs.sh --record  write the table anew
#   MORVANE_CLI=<binary>             use that morvane-cli (e.g. the build
#                                    before a change, to record with)
#   scripts/patch-crcs.sh --wine BUILD_DIR
#                                    compare the patches of BUILD_DIR's
#                                    morvane-cli.exe under Wine (with
#                                    MORVANE_WINE32=1 the 32-bit Wine); the
#                                    lines made by the native measurement
#                                    driver are left out
# Expects the native-release build and build/testdata (scripts/bench.sh
# makes both).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
table="$top/tests/engwarp/patch-crcs.txt"
rel="$top/build/native-release"
cli="${MORVANE_CLI:-$rel/cli/morvane-cli}"  # another build's, to record a table
wine_build=
if [ "${1:-}" = "--wine" ]; then
  [ -n "${2:-}" ] || { echo "usage: patch-crcs.sh --wine BUILD_DIR" >&2; exit 2; }
  wine_build=$(cd "$2" && pwd)
  [ -f "$wine_build/cli/morvane-cli.exe" ] || { echo "patch-crcs: no $wine_build/cli/morvane-cli.exe" >&2; exit 1; }
  # One wineserver for all the runs: each Wine start then costs a fraction.
  if [ -z "${MORVANE_WINE_SESSION:-}" ]; then
    MORVANE_BUILD_DIR=$wine_build exec "$top/scripts/wine-session" bash "$0" "$@"
  fi
  cli=wine_cli
fi
# The Windows program gets the files' absolute paths on Wine's Z: drive.
wine_cli() {
  local a args=()
  for a in "$@"; do
    case $a in /*) args+=("Z:$(printf '%s' "$a" | tr / '\\')") ;; *) args+=("$a") ;; esac
  done
  "$top/scripts/wine-run" "$wine_build/cli/morvane-cli.exe" "${args[@]}"
}
bench="$rel/tests/engwarp/engwarp_bench"
data="$top/build/testdata"
out="$top/build/patch-crcs${wine_build:+-$(basename "$wine_build")}"
rm -rf "$out" && mkdir -p "$out/gen"

# Degenerate pairs: long runs of one value, one block repeated, runs of
# zeros and 0xFF between code-like bytes, and (for contrast) random data.
/usr/bin/python3 - "$out/gen" <<'EOF'
import random, sys, os
d = sys.argv[1]
def pair(name, old, new):
    open(os.path.join(d, name + ".old"), "wb").write(old)
    open(os.path.join(d, name + ".new"), "wb").write(new)
def mutate(rng, b, n):
    b = bytearray(b)
    for _ in range(n):
        at = rng.randrange(len(b))
        kind = rng.randrange(3)
        if kind == 0: b[at:at + 1] = bytes([rng.randrange(256)])
        elif kind == 1: b[at:at] = rng.randbytes(rng.randrange(1, 64))
        else: del b[at:at + rng.randrange(1, 64)]
    return bytes(b)
rng = random.Random(1801)
zeros = bytes(3 << 20)
pair("zeros", zeros, mutate(rng, zeros, 20))
block = rng.randbytes(4096)
rep = block * 600
pair("repeated", rep, mutate(rng, rep, 40))
runs = bytearray()
while len(runs) < (2 << 20):
    k = rng.randrange(4)
    if k == 0: runs += bytes(6 + rng.randrange(40))
    elif k == 1: runs += bytes([0 if rng.randrange(2) else 0xFF]) * (6 + rng.randrange(3000))
    elif k == 2: runs += rng.randbytes(1 + rng.randrange(8))
    else: runs += bytes(rng.choice(b"\x8b\x45\x89\xe8\x48\x0f\x85\xc3\x00\x01") for _ in range(1 + rng.randrange(400)))
pair("runs", bytes(runs), mutate(rng, bytes(runs), 60))
rnd = rng.randbytes(1 << 20)
pair("random", rnd, mutate(rng, rnd, 200))
EOF
touch -d '2026-01-01 00:00:00' "$out/gen"/*

crc() { /usr/bin/python3 -c 'import sys, zlib; print("%08x" % zlib.crc32(open(sys.argv[1], "rb").read()))' "$1"; }

lines=()
one() {  # NAME PATCH COMMAND...
  local name=$1 patch=$2; shift 2
  rm -f "$patch"
  "$@" >"$out/run.log" 2>&1 || { echo "patch-crcs: failed: $*" >&2; tail -n 20 "$out/run.log" >&2; exit 1; }
  lines+=("$(crc "$patch") $name")
}
# The patch records the new file's date: the pairs are copied with a fixed
# one, whenever and wherever the test data was unpacked.
mkdir -p "$out/pairs"
for p in libc.so.6 postgres; do
  o="$out/pairs/$p.old" n="$out/pairs/$p.new"
  cp -L "$data/$p.old" "$o" && cp -L "$data/$p.new" "$n"
  touch -d '2026-01-01 00:00:00' "$o" "$n"
  one "$p" "$out/$p.utp" "$cli" -q "$o" "$n" "$out/$p.utp"
  one "$p deflated" "$out/$p-z.utp" "$cli" -q --deflate "$o" "$n" "$out/$p-z.utp"
done
tree() {  # NAME OLD NEW
  local w="$out/$1"
  mkdir -p "$w"
  cp -a "$2" "$w/old" && cp -a "$3" "$w/new"
  find "$w/old" "$w/new" -xtype l -delete
  # The patch records the files' dates; the trees' own dates are those of
  # whenever the test data was unpacked.
  find "$w/old" "$w/new" -exec touch -h -d '2026-01-01 00:00:00' {} +
  one "$1" "$w/p.utp" "$cli" -q "$w/old" "$w/new" "$w/p.utp"
  one "$1 deflated" "$w/pz.utp" "$cli" -q --deflate "$w/old" "$w/new" "$w/pz.utp"
}
tree "libc6 tree" "$data/trees/libc6-2.36-9+deb12u7/root" "$data/trees/libc6-2.36-9+deb12u14/root"
tree "postgresql-15 tree" "$data/postgresql-15-15.18-0+deb12u1/root" "$data/postgresql-15-15.20-0+deb12u1/root"
/usr/bin/python3 tests/engwarp/small_tree.py "$out/small/old" "$out/small/new"
tree "4000 small files" "$out/small/old" "$out/small/new"
for g in zeros repeated runs random; do
  o="$out/gen/$g.old" n="$out/gen/$g.new"
  one "$g" "$out/$g.utp" "$cli" -q -f "$o" "$n" "$out/$g.utp"
  [ -n "$wine_build" ] && continue  # the driver's walk bounds are not the program's options
  one "$g in new file" "$out/$g-i.utp" "$bench" --in-new-file "$o" "$n" "$out/$g-i" 1
  one "$g tight" "$out/$g-t.utp" "$bench" --cap 300 --budget 30000 "$o" "$n" "$out/$g-t" 1
  one "$g tighter" "$out/$g-tt.utp" "$bench" --cap 2000 --budget 1500 "$o" "$n" "$out/$g-tt" 1
done

if [ "${1:-}" = "--record" ]; then
  printf '%s\n' "${lines[@]}" >"$table"
  echo "patch-crcs: recorded ${#lines[@]} patches in $table"
  exit 0
fi
expected=$(if [ -n "$wine_build" ]; then grep -Ev ' (in new file|tight|tighter)$' "$table"; else cat "$table"; fi)
if diff <(printf '%s\n' "${lines[@]}") <(printf '%s\n' "$expected") >"$out/diff.txt"; then
  echo "patch-crcs: all ${#lines[@]} patches${wine_build:+ of $wine_build/cli/morvane-cli.exe} byte-identical to the recorded table"
else
  echo "patch-crcs: patches DIFFER from the recorded table:" >&2
  cat "$out/diff.txt" >&2
  exit 1
fi
