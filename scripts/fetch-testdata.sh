#!/bin/bash
# Fetches real file pairs for the engine's round-trip tests, the demo and the
# benchmark into build/testdata/ (never committed). Idempotent: packages
# already unpacked are left alone. Two releases of one executable make a
# realistic pair: the same code with shifted addresses and small edits.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dest="$root/build/testdata"
mkdir -p "$dest"

# fetch PACKAGE VERSION DIR: the package's files unpacked into DIR/root.
fetch() {
  local package=$1 version=$2 dir=$3
  [ -f "$dir/.done" ] && return 0
  rm -rf "$dir"; mkdir -p "$dir"
  if ! (cd "$dir" && apt-get download "$package=$version" >/dev/null 2>&1); then
    echo "fetch-testdata: $package=$version is not available; see 'apt-cache madison $package'" >&2
    rm -rf "$dir"; exit 1
  fi
  dpkg-deb -x "$dir"/*.deb "$dir/root"
  rm -f "$dir"/*.deb
  touch "$dir/.done"
}

# pair NAME FILE OLDDIR NEWDIR: stable names NAME.old and NAME.new for the
# file FILE found in both trees.
pair() {
  local name=$1 file=$2 old new
  old="$(find "$3/root" -name "$file" \( -type f -o -type l \) | head -n1)"
  new="$(find "$4/root" -name "$file" \( -type f -o -type l \) | head -n1)"
  ln -sfn "$(readlink -f "$old")" "$dest/$name.old"
  ln -sfn "$(readlink -f "$new")" "$dest/$name.new"
}

pg_old="$dest/postgresql-15-15.18-0+deb12u1"
pg_new="$dest/postgresql-15-15.20-0+deb12u1"
fetch postgresql-15 15.18-0+deb12u1 "$pg_old"
fetch postgresql-15 15.20-0+deb12u1 "$pg_new"
pair postgres postgres "$pg_old" "$pg_new"

# Two releases of small packages as whole trees, for the directory-mode
# tests, the demo and the benchmark: build/testdata/trees/<package>-<version>/root.
fetch libcurl4 7.88.1-10+deb12u5 "$dest/trees/libcurl4-7.88.1-10+deb12u5"
fetch libcurl4 7.88.1-10+deb12u15 "$dest/trees/libcurl4-7.88.1-10+deb12u15"
fetch libc6 2.36-9+deb12u7 "$dest/trees/libc6-2.36-9+deb12u7"
fetch libc6 2.36-9+deb12u14 "$dest/trees/libc6-2.36-9+deb12u14"
pair libc.so.6 libc.so.6 "$dest/trees/libc6-2.36-9+deb12u7" "$dest/trees/libc6-2.36-9+deb12u14"
ls -lL "$dest/postgres.old" "$dest/postgres.new" "$dest/libc.so.6.old" "$dest/libc.so.6.new"

# GIFs of two documentation packages for the GIF reader's reference tests
# (any release will do, so the current one is taken):
# build/testdata/gifs/<package>/root.
fetch_current() {
  local package=$1 dir=$2
  [ -f "$dir/.done" ] && return 0
  rm -rf "$dir"; mkdir -p "$dir"
  if ! (cd "$dir" && apt-get download "$package" >/dev/null 2>&1); then
    echo "fetch-testdata: $package is not available" >&2
    rm -rf "$dir"; exit 1
  fi
  dpkg-deb -x "$dir"/*.deb "$dir/root"
  rm -f "$dir"/*.deb
  touch "$dir/.done"
}
fetch_current imagemagick-6-doc "$dest/gifs/imagemagick-6-doc"
fetch_current xfig-doc "$dest/gifs/xfig-doc"
