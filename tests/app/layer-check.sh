#!/usr/bin/env bash
# The layer check refuses an include that runs upwards, one written relative to
# the including file, and Qt in the core however it is spelled, and lets the
# layers' own includes pass; a type's window in its type's folder is of the
# forms layer.
set -u
script="$1"
layers="$(cd "$(dirname "$script")/.." && pwd)"
dir="$(mktemp -d)"
trap 'rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
check() { cmake -DSOURCE_DIR="$dir" -DLAYERS_FROM="$layers" -DLIST_FILE="$dir/list" -P "$script" >"$dir/out" 2>&1; }
mkdir -p "$dir/dsp" "$dir/framework" "$dir/engine" "$dir/contraptions/io/soundout" "$dir/forms"
printf '#include "dsp/a.h"\n#include <vector>\n#include <queue>\n' >"$dir/framework/ok.cpp"
printf '#include "framework/QSPreset.h"\n#include "dsp/b.h"\n' >"$dir/engine/ok.cpp"
printf '#include "forms/TContraptionForm.h"\n#include <QWidget>\n' >"$dir/contraptions/io/soundout/TSoundOutForm.cpp"
printf 'framework/ok.cpp;engine/ok.cpp;contraptions/io/soundout/TSoundOutForm.cpp' >"$dir/list"
check || fail "includes that follow the layers were refused: $(cat "$dir/out")"

printf '#include "engine/TAudioEngineModule.h"\n' >"$dir/dsp/up.cpp"
printf '#include <QWidget>\n#include <QtCore/QString>\n#include <qstring.h>\n' >"$dir/framework/qt.cpp"
printf '#include "forms/TContraptionForm.h"\n' >"$dir/contraptions/io/soundout/TGSoundOut.cpp"
printf '#include "b.h"\n' >"$dir/dsp/a.cpp"
touch "$dir/dsp/b.h"
printf 'framework/ok.cpp;dsp/up.cpp;framework/qt.cpp;contraptions/io/soundout/TGSoundOut.cpp;dsp/a.cpp' >"$dir/list"
check && fail "wrong includes passed"
grep -q "dsp/up.cpp: the dsp layer includes engine/TAudioEngineModule.h of the engine layer" "$dir/out" || fail "no word of the upward include: $(cat "$dir/out")"
[[ $(grep -c "framework/qt.cpp: the framework layer includes Qt" "$dir/out") -eq 3 ]] ||
  fail "not each spelling of Qt in the core was named: $(cat "$dir/out")"
grep -q "TGSoundOut.cpp: the contraptions layer includes forms/TContraptionForm.h of the forms layer" "$dir/out" ||
  fail "a processor beside its window may include forms: $(cat "$dir/out")"
grep -q "dsp/a.cpp: includes b.h relative to itself" "$dir/out" || fail "no word of the relative include: $(cat "$dir/out")"

mkdir -p "$dir/controls"
printf 'double v = std::strtod(text, &end);\nstd::snprintf(b, 9, "%%.2f", v);\nauto s = std::to_string(0.5);\n// std::strtod( in a comment is fine\nstd::printf("%%d %%s", 1, "x");\n' >"$dir/controls/numbers.cpp"
printf 'framework/ok.cpp;controls/numbers.cpp' >"$dir/list"
check && fail "number text that follows the locale passed"
[[ $(grep -c "number text that follows the user's locale" "$dir/out") -eq 3 ]] ||
  fail "not each of the three locale-bound conversions was named: $(cat "$dir/out")"
echo "1 passed, 0 failed"
