#!/usr/bin/env bash
# The layer check refuses an include that runs upwards and one of Qt in the
# core, and lets the layers' own includes pass.
set -u
script="$1"
dir="$(mktemp -d)"
trap 'rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
check() { cmake -DSOURCE_DIR="$dir" -DLIST_FILE="$dir/list" -P "$script" >"$dir/out" 2>&1; }
mkdir -p "$dir/dsp" "$dir/framework" "$dir/engine"
printf '#include "dsp/a.h"\n#include <vector>\n' >"$dir/framework/ok.cpp"
printf '#include "framework/QSPreset.h"\n#include "dsp/b.h"\n' >"$dir/engine/ok.cpp"
printf 'framework/ok.cpp;engine/ok.cpp' >"$dir/list"
check || fail "includes that follow the layers were refused: $(cat "$dir/out")"
printf '#include "engine/TAudioEngineModule.h"\n' >"$dir/dsp/up.cpp"
printf '#include <QWidget>\n' >"$dir/framework/qt.cpp"
printf 'framework/ok.cpp;dsp/up.cpp;framework/qt.cpp' >"$dir/list"
check && fail "upward includes passed"
grep -q "dsp/up.cpp: the dsp layer includes engine/TAudioEngineModule.h of the engine layer" "$dir/out" || fail "no word of the upward include: $(cat "$dir/out")"
grep -q "framework/qt.cpp: the framework layer includes Qt" "$dir/out" || fail "no word of Qt in the core"
mkdir -p "$dir/controls"
printf 'double v = std::strtod(text, &end);\nstd::snprintf(b, 9, "%%.2f", v);\nauto s = std::to_string(0.5);\n// std::strtod( in a comment is fine\nstd::printf("%%d %%s", 1, "x");\n' >"$dir/controls/numbers.cpp"
printf 'framework/ok.cpp;controls/numbers.cpp' >"$dir/list"
check && fail "number text that follows the locale passed"
[[ $(grep -c "number text that follows the user's locale" "$dir/out") -eq 3 ]] ||
  fail "not each of the three locale-bound conversions was named: $(cat "$dir/out")"
echo "1 passed, 0 failed"
