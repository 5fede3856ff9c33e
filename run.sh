#!/usr/bin/env bash
# Installs what is missing, builds the release preset and starts Tonegarden
# playing the demo patch (or on the arguments: a document and /STARTDACS,
# /STARTADCS, /STARTCLOCK). Without a display it renders the demo patch to a
# wave file.
#   ./run.sh --render PATCH.tgh -o OUT.wav [--bars N]   renders without a window
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
source scripts/compiler-cache.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
if [[ "${1:-}" == "--render" ]]; then
  shift
  exec build/release/app/tonegarden-render "$@"
fi
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "No display: rendering the demo patch to build/demo.wav instead of opening the window."
  build/release/app/tonegarden-render examples/demo.tgh -o build/demo.wav --bars 8
  exit 0
fi
if (($# > 0)); then
  exec build/release/app/tonegarden "$@"
fi
exec build/release/app/tonegarden examples/demo.tgh /STARTDACS /STARTCLOCK
