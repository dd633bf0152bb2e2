# Sourced by scripts/bench.sh and scripts/bench-large.sh (uses their RUNS
# and out).
# measure PATCHFILE COMMAND...: runs COMMAND $RUNS times, prints
# "size seconds kib" (median time, largest peak memory).
measure() {
  local patch=$1; shift
  local times=() mem=0 line t m tfile="$out/time.txt"
  for _ in $(seq "$RUNS"); do
    rm -f "$patch"
    /usr/bin/time -o "$tfile" -f '%e %M' "$@" >/dev/null 2>&1 || { echo "bench: failed: $*" >&2; exit 1; }
    line=$(tail -n1 "$tfile")
    t=${line% *}; m=${line#* }
    times+=("$t"); [ "$m" -gt "$mem" ] && mem=$m
  done
  local median
  median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(( (RUNS + 1) / 2 ))p")
  [ -f "$patch" ] || { echo "bench: no patch from: $*" >&2; exit 1; }
  echo "$(stat -c %s "$patch") $median $mem"
}
