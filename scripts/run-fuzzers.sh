#!/usr/bin/env bash
# Runs every fuzzer of the fuzz build for its bounded time, a few at a time,
# each from a scratch copy of its committed seed corpus (the source tree is
# never written).  A crash, leak or time-out fails the run; the input that
# caused it is kept under build/fuzz/artifacts/NAME/.  FUZZ_SECONDS gives
# every fuzzer that time instead of its own (a long run outside the tests).
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
list="$top/build/fuzz/fuzzers.list"
[ -f "$list" ] || { echo "fuzz: no fuzz build (run: cmake --preset fuzz && cmake --build --preset fuzz)" >&2; exit 1; }
parallel=${FUZZ_JOBS:-4}
work="$top/build/fuzz/work"
arts="$top/build/fuzz/artifacts"
rm -rf "$work"; mkdir -p "$work" "$arts"

run_one() {
  local name=$1 bin=$2 corpus=$3 dict=$4 secs=$5
  local dir="$work/$name" log="$work/$name.log"
  secs=${FUZZ_SECONDS:-$secs}
  [ -x "$bin" ] || { echo "fuzz $name: FAILED (not built: $bin)"; return 1; }
  mkdir -p "$dir" "$arts/$name"
  local args=(-seed=1 -max_total_time="$secs" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
              -artifact_prefix="$arts/$name/" "$dir")
  [ -n "$dict" ] && args=(-dict="$dict" "${args[@]}")
  [ -n "$corpus" ] && [ -d "$corpus" ] && args+=("$corpus")
  if "$bin" "${args[@]}" >"$log" 2>&1; then
    runs=$(grep -Eo 'stat::number_of_executed_units: *[0-9]+' "$log" | grep -Eo '[0-9]+$' | tail -n1)
    cov=$(grep -Eo 'DONE +cov: [0-9]+ ft: [0-9]+' "$log" | tail -n1 | sed -E 's/.*cov: ([0-9]+) ft: ([0-9]+)/\1 edges, \2 features/')
    echo "fuzz $name: clean, ${runs:-?} runs in ${secs} s${cov:+, coverage $cov}"
  else
    echo "fuzz $name: FAILED (see $log; input in $arts/$name/)"
    grep -E '^(==[0-9]+==ERROR|SUMMARY|.*runtime error)' "$log" | head -n 5
    return 1
  fi
}

rc=0; pids=()
while IFS='|' read -r name bin corpus dict secs; do
  [ -n "$name" ] || continue
  run_one "$name" "$bin" "$corpus" "$dict" "$secs" &
  pids+=($!)
  if [ ${#pids[@]} -ge "$parallel" ]; then
    wait "${pids[0]}" || rc=1
    pids=("${pids[@]:1}")
  fi
done <"$list"
for p in "${pids[@]}"; do wait "$p" || rc=1; done
exit $rc
