#!/usr/bin/env bash
# Times the reference workloads (60 s renders with fixed seeds): whole-process
# wall time, the median of interleaved runs, on one thread and on two, for
# each renderer given (the first is the reference of the ratios).
#   bench/workloads.sh [RUNS] RENDERER [RENDERER ...]
set -euo pipefail
export LC_ALL=C
cd "$(dirname "$0")/.."
runs="${1:-5}"
shift
renderers=("${@:-build/release/app/tonegarden-render}")
out="$(mktemp --suffix=.wav)"
trap 'rm -f "$out"' EXIT
median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
for patch in ${PATCHES:-bench/w1-additive.tgh bench/w2-comb-bank.tgh bench/w3-reverb.tgh bench/sixteen-delays.tgh}; do
  for threads in 1 2; do
    declare -A times=()
    for ((r = 0; r < runs; ++r)); do
      for i in "${!renderers[@]}"; do  # interleaved, so load spreads evenly
        start=$(date +%s.%N)
        "${renderers[$i]}" "$patch" -o "$out" --seconds 60 --seed 1 --threads "$threads" >/dev/null 2>&1
        end=$(date +%s.%N)
        times[$i]+="$(echo "$end - $start" | bc) "
      done
    done
    line="$(basename "$patch" .tgh), $threads thread(s):"
    first=""
    for i in "${!renderers[@]}"; do
      m=$(echo "${times[$i]}" | tr ' ' '\n' | grep . | median)
      [ -z "$first" ] && first=$m
      line+=" $(printf '%.3f' "$m") s ($(echo "scale=2; $first / $m" | bc) x)"
    done
    echo "$line"
    unset times
  done
done
