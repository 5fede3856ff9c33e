#!/usr/bin/env bash
# Checks formatting and runs clang-tidy over the program's sources.
# Needs a configured release build (cmake --preset release).
set -euo pipefail
cd "$(dirname "$0")/.."
files=$(git ls-files '*.cpp' '*.h')
clang-format --dry-run --Werror $files
git ls-files '*.cpp' | grep -v '^tests/\|^bench/' | xargs -P "$(nproc)" -n 4 clang-tidy -p build/release --quiet --warnings-as-errors='*'
