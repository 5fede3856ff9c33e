#!/usr/bin/env bash
# The "sixteen delays" workload: 16 test generators through 16 stereo delays
# into two 8-channel mixers, a 2-channel mixer and SoundOut, rendered for 60
# seconds with fixed noise seeds. Prints the render's real-time factor.
#   bench/sixteen-delays.sh [RENDERER [THREADS]]
# (default build/release/app/tonegarden-render on one thread; a renderer that
# knows no --threads is run without it)
set -euo pipefail
cd "$(dirname "$0")/.."
render="${1:-build/release/app/tonegarden-render}"
out="$(mktemp --suffix=.wav)"
trap 'rm -f "$out"' EXIT
threads=()
if "$render" --help 2>&1 | grep -q -- --threads; then threads=(--threads "${2:-1}"); fi
"$render" bench/sixteen-delays.tgh -o "$out" --seconds 60 --seed 1 "${threads[@]}" 2>&1 | tail -n 1
