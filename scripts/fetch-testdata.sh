#!/bin/bash
# Fetches real file pairs for the engine's round-trip tests and benchmarks
# into build/testdata/ (never committed).  Idempotent: packages already
# unpacked are left alone.  Two releases of one executable make a realistic
# pair: the same code with shifted addresses and small edits.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dest="$root/build/testdata"
mkdir -p "$dest"
cd "$dest"

package=postgresql-15
versions=(15.18-0+deb12u1 15.20-0+deb12u1)

for v in "${versions[@]}"; do
  dir="$dest/$package-$v"
  if [ -f "$dir/.done" ]; then continue; fi
  rm -rf "$dir"; mkdir -p "$dir"
  if ! (cd "$dir" && apt-get download "$package=$v" >/dev/null 2>&1); then
    echo "fetch-testdata: $package=$v is not available; see 'apt-cache madison $package'" >&2
    rm -rf "$dir"; exit 1
  fi
  dpkg-deb -x "$dir"/*.deb "$dir/root"
  rm -f "$dir"/*.deb
  touch "$dir/.done"
done

# Stable names for the tests.
old="$(find "$dest/$package-${versions[0]}/root" -type f -name postgres | head -n1)"
new="$(find "$dest/$package-${versions[1]}/root" -type f -name postgres | head -n1)"
ln -sfn "$old" "$dest/postgres.old"
ln -sfn "$new" "$dest/postgres.new"
ls -lL "$dest/postgres.old" "$dest/postgres.new"

# Two releases of one small package as whole trees, for the directory-mode
# tests: build/testdata/trees/libcurl4-<version>/root.
tree_package=libcurl4
for v in 7.88.1-10+deb12u5 7.88.1-10+deb12u15; do
  dir="$dest/trees/$tree_package-$v"
  if [ -f "$dir/.done" ]; then continue; fi
  rm -rf "$dir"; mkdir -p "$dir"
  if ! (cd "$dir" && apt-get download "$tree_package=$v" >/dev/null 2>&1); then
    echo "fetch-testdata: $tree_package=$v is not available; see 'apt-cache madison $tree_package'" >&2
    rm -rf "$dir"; exit 1
  fi
  dpkg-deb -x "$dir"/*.deb "$dir/root"
  rm -f "$dir"/*.deb
  touch "$dir/.done"
done
