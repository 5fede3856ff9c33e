#!/usr/bin/env bash
# Installs what is missing, builds and runs every test.
#   ./test.sh          release build, all tests
#   ./test.sh --asan   AddressSanitizer + UBSan build (clang), all tests
#   ./test.sh --tsan   ThreadSanitizer build (clang), all tests
#   ./test.sh --debug  debug build, all tests
#   ./test.sh --all    release, asan and tsan one after another
set -euo pipefail
cd "$(dirname "$0")"

presets=(release)
case "${1:-}" in
  "") ;;
  --asan) presets=(asan) ;;
  --tsan) presets=(tsan) ;;
  --debug) presets=(debug) ;;
  --all) presets=(release asan tsan) ;;
  -h|--help) sed -n '2,8p' "$0"; exit 0 ;;
  *) echo "unknown option: $1 (see ./test.sh --help)" >&2; exit 2 ;;
esac

scripts/install-deps.sh

if [[ "${CI:-}" == "true" ]]; then
  export TONEGARDEN_WERROR=ON
fi
jobs="$(nproc)"
for preset in "${presets[@]}"; do
  echo "== $preset =="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done
