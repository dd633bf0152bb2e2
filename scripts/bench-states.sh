#!/usr/bin/env bash
# Many versions in one patch: morvane-cli (native release) on generated
# release trees (tests/enginetree/state_trees.py), a 60-file tree at 10 and
# at 20 versions (goal: 20 at most 3 x the time of 10) and a 1,000-file tree
# at 20 versions (goal: under 30 s). Every patch is checked by the test
# applier: the oldest version must turn into the newest. Called by
# scripts/bench.sh; run alone it builds what it needs.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
RUNS=${RUNS:-3}
cmake --preset native-release >/dev/null
cmake --build --preset native-release --target morvane-cli morvane-apply -j 3 >/dev/null
cli="$top/build/native-release/cli/morvane-cli"
apply="$top/build/native-release/tests/tools/applier/morvane-apply"
out="$top/build/bench-states"
rm -rf "$out" && mkdir -p "$out"
gen() { /usr/bin/python3 tests/enginetree/state_trees.py "$@"; }

# run TREE VERSIONS: median wall seconds of $RUNS runs; leaves TREE/p.utp.
run() {
  local tree=$1 versions=$2 times=() line
  local dirs=()
  for v in $(seq 0 $((versions - 1))); do dirs+=("$tree/$(printf 'v%02d' "$v")"); done
  for _ in $(seq "$RUNS"); do
    rm -f "$tree/p.utp"
    /usr/bin/time -o "$out/time.txt" -f '%e' "$cli" -q "${dirs[@]}" "$tree/p.utp" >/dev/null 2>&1 ||
      { echo "bench-states: failed on $tree" >&2; exit 1; }
    times+=("$(tail -n1 "$out/time.txt")")
  done
  printf '%s\n' "${times[@]}" | sort -n | sed -n "$(( (RUNS + 1) / 2 ))p"
}

# verify TREE VERSIONS: the oldest version patched must be the newest.
verify() {
  local tree=$1 newest old result f
  newest="$tree/$(printf 'v%02d' $(($2 - 1)))"; old="$tree/v00"; result="$tree/result"
  rm -rf "$result" && mkdir -p "$result"
  "$apply" --dir "$tree/p.utp" "$old" "$result" >/dev/null 2>&1 ||
    { echo "bench-states: the patch of $tree does not apply" >&2; exit 1; }
  (cd "$newest" && find . -type f) | while read -r f; do
    if [ -f "$result/$f" ]; then cmp -s "$result/$f" "$newest/$f"; else cmp -s "$old/$f" "$newest/$f"; fi ||
      { echo "bench-states: $f of $tree not rebuilt from the oldest version" >&2; exit 1; }
  done
}

gen "$out/t10" 10 55 1
gen "$out/t20" 20 55 1
gen "$out/big" 20 1000 1 4
files=$(find "$out/t20/v19" -type f | wc -l)
big_files=$(find "$out/big/v19" -type f | wc -l)
t10=$(run "$out/t10" 10); verify "$out/t10" 10
t20=$(run "$out/t20" 20); verify "$out/t20" 20
big=$(RUNS=1 run "$out/big" 20); verify "$out/big" 20
ratio=$(awk -v a="$t20" -v b="$t10" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
g1=$(awk -v r="$ratio" 'BEGIN { print (r <= 3 ? "holds" : "does not hold") }')
g2=$(awk -v t="$big" 'BEGIN { print (t < 30 ? "holds" : "does not hold") }')
echo "Twenty versions, generated $files-file tree (median of $RUNS): 10 versions $t10 s, 20 versions $t20 s," \
  "$ratio x; goal (at most 3 x): $g1."
echo "Twenty versions, generated $big_files-file tree: $big s; goal (under 30 s): $g2."
