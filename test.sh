#!/usr/bin/env bash
# Installs what is missing, builds and runs every test.
#   ./test.sh          release build, all tests, then again under de_DE.UTF-8
#   ./test.sh --asan   AddressSanitizer + UBSan build (clang), all tests
#   ./test.sh --tsan   ThreadSanitizer build (clang), all tests
#   ./test.sh --debug  debug build, all tests
#   ./test.sh --all    release, asan and tsan one after another
#   ./test.sh --fuzz [SECONDS [TARGET...]]  runs each libFuzzer target (or the
#                      ones named) for SECONDS (default 60)
set -euo pipefail
cd "$(dirname "$0")"

presets=(release)
case "${1:-}" in
  "") ;;
  --asan) presets=(asan) ;;
  --tsan) presets=(tsan) ;;
  --debug) presets=(debug) ;;
  --all) presets=(release asan tsan) ;;
  --fuzz) presets=() ;;
  -h|--help) sed -n '2,10p' "$0"; exit 0 ;;
  *) echo "unknown option: $1 (see ./test.sh --help)" >&2; exit 2 ;;
esac

scripts/install-deps.sh
source scripts/compiler-cache.sh

if [[ "${CI:-}" == "true" ]]; then
  export TONEGARDEN_WERROR=ON
fi
jobs="$(nproc)"

if [[ "${1:-}" == "--fuzz" ]]; then
  seconds="${2:-60}"
  [[ "$seconds" =~ ^[0-9]+$ ]] || { echo "--fuzz takes a whole number of seconds" >&2; exit 2; }
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz -j "$jobs"
  corpus=build/fuzz/corpus
  targets=(SoundFileReader WaveOutFile ContraptionItem Document)
  for target in "${targets[@]}"; do mkdir -p "$corpus/$target"; done
  build/fuzz/fuzz/fuzz-make-seeds "$corpus/SoundFileReader" "$corpus/WaveOutFile" "$corpus/ContraptionItem"
  cp examples/*.tgh "$corpus/Document/"
  if (($# > 2)); then targets=("${@:3}"); fi
  for target in "${targets[@]}"; do
    echo "== fuzz-$target for ${seconds}s =="
    log="$PWD/build/fuzz/fuzz-$target.log"
    # Documents name files that their contraptions create when read: keep them
    # in a scratch directory, never in the source tree.
    work="build/fuzz/work/$target"
    rm -rf "$work" && mkdir -p "$work"
    status=0
    (cd "$work" && UBSAN_OPTIONS=halt_on_error=1 "$OLDPWD/build/fuzz/fuzz/fuzz-$target" \
      -max_total_time="$seconds" -rss_limit_mb=4096 -timeout=10 -print_final_stats=1 \
      -artifact_prefix="$OLDPWD/build/fuzz/" "$OLDPWD/$corpus/$target") >"$log" 2>&1 || status=$?
    grep -E "^(stat::number_of_executed_units|stat::peak_rss_mb|SUMMARY|artifact)" "$log" || true
    if ((status != 0)); then
      echo "fuzz-$target found a fault; see $log" >&2
      exit 1
    fi
  done
  exit 0
fi
# A German locale writes "0,5": the release tests run a second time under it,
# so that no number text follows the user's locale. Made here when missing;
# the leg fails rather than skips without it.
german=de_DE.UTF-8
have_german() { locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; }
make_german() {
  have_german && return 0
  local run=()
  [[ $EUID -eq 0 ]] || run=(sudo -n)
  "${run[@]}" localedef -i de_DE -f UTF-8 "$german" || true
  have_german || { echo "error: the locale $german cannot be made (localedef, package locales)" >&2; return 1; }
}

# ctest prints each test's time; the ten slowest of a leg show where its time goes.
slowest() {
  grep -E '^ *[0-9]+/[0-9]+ Test +#' "$1" |
    sed -E 's/^.*Test +#[0-9]+: ([^ ]+) .* ([0-9.]+) sec$/\2 \1/' |
    sort -rn | awk 'NR <= 10 { printf "  %7.2f s  %s\n", $1, $2 }'
}

timings=()
status=0
for preset in "${presets[@]}"; do
  echo "== $preset =="
  leg=$SECONDS
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  built=$SECONDS
  log="build/$preset/ctest.log"
  ctest --preset "$preset" -j "$jobs" 2>&1 | tee "$log" || status=$?
  tested=$SECONDS
  echo "== $preset: the ten slowest tests"
  slowest "$log"
  timings+=("$(printf '%-8s build %4d s, tests %4d s' "$preset" $((built - leg)) $((tested - built)))")
  ((status == 0)) || break
  if [[ "$preset" == release ]]; then
    echo "== release under $german =="
    log="build/$preset/ctest-$german.log"
    { make_german && LC_ALL="$german" LANG="$german" ctest --preset release -j "$jobs"; } 2>&1 |
      tee "$log" || status=$?
    echo "== release under $german: the ten slowest tests"
    slowest "$log"
    timings+=("$(printf '%-8s tests %4d s' "$german" $((SECONDS - tested)))")
    ((status == 0)) || break
  fi
done
echo "== time taken"
printf '%s\n' "${timings[@]}"
echo "total $SECONDS s"
exit "$status"
