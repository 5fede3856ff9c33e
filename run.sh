#!/usr/bin/env bash
# Installs what is missing, builds the release preset and runs the main job.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
exec build/release/app/tonegarden-graphdemo "$@"
