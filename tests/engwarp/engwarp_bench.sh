#!/bin/bash
# Patch size and creation time of the engine next to xdelta3 -9, bsdiff and
# zstd --patch-from -19 on one pair (default: the fetched executable pair).
# Needs a native-release build of engwarp_bench in build/engwarp-release.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
old="${1:-$root/build/testdata/postgres.old}"
new="${2:-$root/build/testdata/postgres.new}"
runs="${3:-3}"
bench="$root/build/engwarp-release/tests/engwarp/engwarp_bench"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
timed() {  # prints seconds
  local s e
  s=$(date +%s.%N); "$@" >/dev/null 2>&1; e=$(date +%s.%N)
  echo "$e - $s" | bc
}

printf "%-26s %12s %8s %9s\n" tool bytes ratio seconds
size_new=$(stat -Lc %s "$new")

for flag in "" --deflate; do
  line=$("$bench" $flag "$old" "$new" "$work/engine" "$runs" | grep RESULT)
  set -- $line
  printf "%-26s %12s %8.4f %9.2f\n" "engine${flag:+ (deflated body)}" "$4" "$(echo "$4 / $size_new" | bc -l)" "$6"
done

run_tool() {
  local name="$1" out="$2"; shift 2
  local times=()
  for _ in $(seq "$runs"); do rm -f "$out"; times+=("$(timed "$@")"); done
  local t; t=$(printf "%s\n" "${times[@]}" | median)
  local s; s=$(stat -c %s "$out")
  printf "%-26s %12s %8.4f %9.2f\n" "$name" "$s" "$(echo "$s / $size_new" | bc -l)" "$t"
}
run_tool "xdelta3 -9" "$work/x.vcdiff" xdelta3 -9 -f -e -s "$old" "$new" "$work/x.vcdiff"
run_tool "bsdiff" "$work/b.patch" bsdiff "$old" "$new" "$work/b.patch"
run_tool "zstd --patch-from -19" "$work/z.zst" zstd -q -f -19 --patch-from="$old" "$new" -o "$work/z.zst"
