#!/usr/bin/env bash
# Plays a patch live on the silent device (paced in real time) at 3 buffers
# of 256 frames, with a CPU hog on one core, once with one processing thread
# and once with two, and prints each run's last status line (its overloads).
#   bench/stage-overloads.sh [SECONDS [PATCH]]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-600}"
patch="${2:-examples/demo.tgh}"
play="${PLAY:-build/release/app/tonegarden-play}"
hog_core=$(($(nproc) - 1))
taskset -c "$hog_core" sh -c 'while :; do :; done' &
hog=$!
trap 'kill $hog 2>/dev/null' EXIT
for threads in 1 2; do
  line=$(TONEGARDEN_AUDIO=silent "$play" "$patch" --buffers 3 --buffer-bytes 1024 \
    --threads "$threads" --seconds "$seconds" --status --quiet | tail -n 1)
  echo "$threads thread(s), $seconds s: $line"
done
