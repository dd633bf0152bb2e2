#!/usr/bin/env bash
# make demo: a directory patch between two real releases of a Debian
# package, made by the Windows build of morvane-cli under Wine, applied by
# the test applier to the old tree, and every file of the result checked
# against the new tree.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

cmake --preset wintest >/dev/null
cmake --build --preset wintest --target morvane-cli -j "$(nproc)" >/dev/null
cmake --preset native >/dev/null
cmake --build --preset native --target morvane-apply -j "$(nproc)" >/dev/null
bash scripts/fetch-testdata.sh >/dev/null

trees="$top/build/testdata/trees"
old=$(ls -d "$trees"/libcurl4-7.88.1-10+deb12u5/root)
new=$(ls -d "$trees"/libcurl4-7.88.1-10+deb12u15/root)
work="$top/build/demo"
rm -rf "$work" && mkdir -p "$work"

winpath() { echo "Z:$1" | tr / '\\'; }

echo "Old tree: $old"
echo "New tree: $new"
echo "Making the patch with morvane-cli.exe under Wine ..."
start=$(date +%s.%N)
MORVANE_BUILD_DIR="$top/build/wintest" scripts/wine-run build/wintest/cli/morvane-cli.exe -q \
  "$(winpath "$old")" "$(winpath "$new")" "$(winpath "$work/libcurl4")"
seconds=$(echo "$(date +%s.%N) - $start" | bc)

echo "Applying it to a copy of the old tree with the test applier ..."
cp -a "$old" "$work/result"
build/native/tests/tools/applier/morvane-apply --dir "$work/libcurl4.utp" "$old" "$work/result"

echo "Checking every file ..."
bad=0
while IFS= read -r -d '' f; do
  cmp -s "$f" "$work/result/${f#"$new"/}" || { echo "demo: ${f#"$new"/} differs" >&2; bad=1; }
done < <(find "$new" -type f -print0)
[ $bad -eq 0 ] || exit 1

changed=0; added=0; same=0
while IFS= read -r -d '' f; do
  rel=${f#"$new"/}
  if [ ! -f "$old/$rel" ]; then added=$((added + 1))
  elif cmp -s "$old/$rel" "$f"; then same=$((same + 1))
  else changed=$((changed + 1)); fi
done < <(find "$new" -type f -print0)
patch_size=$(stat -c %s "$work/libcurl4.utp")
tree_size=$(du -sb "$new" | cut -f1)
echo
echo "Directory patch libcurl4 7.88.1-10+deb12u5 -> 7.88.1-10+deb12u15"
echo "  files patched (changed):   $changed"
echo "  files embedded (new):      $added"
echo "  files skipped (identical): $same"
printf '  patch size: %d bytes, new tree %d bytes (%.2f%%), made in %.1f s\n' \
  "$patch_size" "$tree_size" "$(echo "100 * $patch_size / $tree_size" | bc -l)" "$seconds"
echo "  every file of the new tree rebuilt from the old tree: OK"
