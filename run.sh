#!/usr/bin/env bash
# Installs what is missing, builds the release preset and runs the main job:
# until the program window exists, that renders the example patch to a wave
# file without a window or sound card (any arguments go to tonegarden-render).
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
if (($# > 0)); then
  exec build/release/app/tonegarden-render "$@"
fi
build/release/app/tonegarden-render examples/first.tgh -o build/first.wav --bars 8
echo "Listen to build/first.wav, or render another patch: ./run.sh PATCH.tgh -o OUT.wav [--bars N]"
