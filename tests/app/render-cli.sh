#!/usr/bin/env bash
# The exit statuses and files of tonegarden-render.
set -u
# The system's reasons in the user's language, as the render tool gives them.
reason() {
  perl -MPOSIX=setlocale,LC_ALL,strerror -e \
    'setlocale(LC_ALL, ""); my $s = strerror($ARGV[0]); utf8::encode($s) if utf8::is_utf8($s); print $s' "$1"
}
render="$1"
example="$2"
dir="$(mktemp -d)"
trap 'rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
expect() {
  local want="$1"; shift
  "$render" "$@" >"$dir/out" 2>"$dir/err"
  local got=$?
  [[ $got -eq $want ]] || fail "tonegarden-render $* gave $got, not $want: $(cat "$dir/err")"
}
expect 0 --help
expect 0 --version
expect 0 --list-types
grep -q "SDelay" "$dir/out" || fail "--list-types does not list SDelay"
expect 2
expect 2 "$example"
expect 2 "$example" -o "$dir/x.wav" --bars 0
expect 2 "$example" -o "$dir/x.wav" --bars 1 --seconds 2
expect 2 "$example" -o "$dir/x.wav" --tempo 999
expect 2 "$example" -o "$dir/x.wav" --nonsense
expect 3 "$dir/missing.tgh" -o "$dir/x.wav"
printf 'not a patch\n' >"$dir/bad.tgh"
expect 3 "$dir/bad.tgh" -o "$dir/x.wav"
grep -q "not a Tonegarden document" "$dir/err" || fail "no message for a bad document"
# More contraptions than any patch may hold: refused before anything is made.
{ printf '.tgh 0.5\ncontraptions:\n'
  for i in $(seq 1001); do printf '\tTestGen\t\t{ }\t{ }{ }{ 0 0 F Z Z 0 0 Z Z Z Z  }\t\n'; done
  printf 'end\n'; } >"$dir/huge.tgh"
expect 3 "$dir/huge.tgh" -o "$dir/x.wav"
grep -q "at most 1000 contraptions" "$dir/err" || fail "no limit named for a huge document"
# A fixed seed gives the same render every time.
expect 0 "$example" -o "$dir/a.wav" --seconds 1 --seed 42 --quiet
expect 0 "$example" -o "$dir/b.wav" --seconds 1 --seed 42 --quiet
cmp -s "$dir/a.wav" "$dir/b.wav" || fail "two renders with one seed differ"
# Neither the patch's own document nor a sound it plays is written over.
cp "$example" "$dir/song.tgh"
expect 4 "$dir/song.tgh" -o "$dir/./song.tgh" --seconds 0.1 --quiet
cmp -s "$example" "$dir/song.tgh" || fail "a render replaced its own document"
presets="{ $(for i in $(seq 19); do printf '{  }, '; done){  } }"
printf '.tgh 0.5\ncontraptions:\n\tLoopPlayer\tLoopPlayer_1\t{ "%s", 2, 1, 0, 0 }\t%s{ }{ 10 10 T Z Z 10 10 Z Z Z Z  }\t\nend\n' \
  "$dir/b.wav" "$presets" >"$dir/loop.tgh"
expect 4 "$dir/loop.tgh" -o "$dir/b.wav" --seconds 0.1 --quiet
grep -q "LoopPlayer_1 plays" "$dir/err" || fail "no word of the sound the patch plays: $(cat "$dir/err")"
cmp -s "$dir/a.wav" "$dir/b.wav" || fail "a render replaced a sound its patch plays"
expect 2 "$example" -o "$dir/c.wav" --seed -1
expect 4 "$example" -o "$dir/no/such/dir/x.wav"
grep -qF "$(reason 2)" "$dir/err" || fail "no reason given for a file that cannot be made: $(cat "$dir/err")"
# Longer than a wave file can hold: refused before anything is written.
expect 4 "$example" -o "$dir/long.wav" --seconds 30000
grep -q "the longest is 24347.88 seconds" "$dir/err" || fail "the longest length is not named: $(cat "$dir/err")"
[[ ! -e "$dir/long.wav" ]] || fail "a refused render left a file"
# A disk that fills up (a file-size limit of 256 KiB): reported, exit 4, no half file.
( ulimit -f 256; exec "$render" "$example" -o "$dir/full.wav" --seconds 10 --quiet ) >"$dir/out" 2>"$dir/err"
got=$?
[[ $got -eq 4 ]] || fail "a render onto a full disk gave $got, not 4: $(cat "$dir/err")"
grep -qF "$(reason 27)" "$dir/err" || fail "no reason given for the failed write: $(cat "$dir/err")"
[[ ! -e "$dir/full.wav" ]] || fail "a failed render left a partial file"
# The same over an existing file: it stays as it was, and no temporary is left.
printf 'the old take' >"$dir/full.wav"
( ulimit -f 256; exec "$render" "$example" -o "$dir/full.wav" --seconds 10 --quiet ) >"$dir/out" 2>"$dir/err"
got=$?
[[ $got -eq 4 ]] || fail "a render over a file onto a full disk gave $got, not 4: $(cat "$dir/err")"
[[ "$(cat "$dir/full.wav")" == "the old take" ]] || fail "a failed render changed the file it was to replace"
compgen -G "$dir/*.exporting-*" >/dev/null && fail "a failed render left its temporary: $(ls "$dir")"
# Terminated while writing: the same. (Should the size limit come first, the
# render fails instead, which must leave the same.)
( ulimit -f 102400; exec "$render" "$example" -o "$dir/full.wav" --seconds 3000 --quiet ) >"$dir/out" 2>"$dir/err" &
pid=$!
for _ in $(seq 2400); do
  compgen -G "$dir/full.wav.exporting-*" >/dev/null && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.05
done
kill -TERM "$pid" 2>/dev/null
wait "$pid"
got=$?
[[ $got -eq 143 || $got -eq 4 ]] || fail "a terminated render gave $got: $(cat "$dir/err")"
[[ "$(cat "$dir/full.wav")" == "the old take" ]] || fail "a terminated render changed the file it was to replace"
compgen -G "$dir/*.exporting-*" >/dev/null && fail "a terminated render left its temporary: $(ls "$dir")"
rm "$dir/full.wav"
# A copy of the demo where its samples are missing or a pipe: one warning a
# file, and with --strict nothing is written. A pipe never holds a load up.
mkdir -p "$dir/copy/samples"
cp "$(dirname "$example")/demo.tgh" "$dir/copy/"
mkfifo "$dir/copy/samples/kick.wav"
timeout 60 "$render" "$dir/copy/demo.tgh" -o "$dir/copy.wav" --bars 1 --quiet >"$dir/out" 2>"$dir/err"
got=$?
[[ $got -eq 0 ]] || fail "a render with missing samples gave $got: $(cat "$dir/err")"
grep -q "^tonegarden-render: warning: Drums_1: samples/kick.wav: it is a pipe$" "$dir/err" ||
  fail "no warning for the pipe: $(cat "$dir/err")"
grep -q "^tonegarden-render: warning: Drums_1: samples/snare.wav: not found$" "$dir/err" ||
  fail "no warning for the missing sample: $(cat "$dir/err")"
expect 5 "$dir/copy/demo.tgh" -o "$dir/strict.wav" --bars 1 --strict
[[ ! -e "$dir/strict.wav" ]] || fail "a strict render with missing samples wrote a file"
grep -q -- "--strict" <("$render" --help) || fail "--help does not name --strict"
# Under a German locale the demo renders byte for byte as under C.
if locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
  demo="$(dirname "$example")/demo.tgh"
  LC_ALL=C "$render" "$demo" -o "$dir/c.wav" --seconds 2 --seed 7 --quiet 2>"$dir/err" ||
    fail "the demo did not render: $(cat "$dir/err")"
  LC_ALL=de_DE.UTF-8 "$render" "$demo" -o "$dir/de.wav" --seconds 2 --seed 7 --quiet 2>"$dir/err" ||
    fail "the demo did not render under de_DE: $(cat "$dir/err")"
  [[ ! -s "$dir/err" ]] || fail "the demo under de_DE says: $(cat "$dir/err")"
  cmp -s "$dir/c.wav" "$dir/de.wav" || fail "the demo sounds otherwise under de_DE"
else
  echo "no de_DE.UTF-8 locale here: the render under it is left out (./test.sh makes it)"
fi
expect 0 "$example" -o "$dir/two.wav" --bars 2 --quiet
size=$(stat -c %s "$dir/two.wav")
[[ $size -eq $((44 + 176400 * 4)) ]] || fail "2 bars at 120 bpm should be 4 s, the file has $size bytes"
expect 0 "$example" -o "$dir/sec.wav" --seconds 1.5 --tempo 60 --preroll 1
[[ $(stat -c %s "$dir/sec.wav") -eq $((44 + 66150 * 4)) ]] || fail "1.5 s render has the wrong size"
grep -q "times real time" "$dir/out" || fail "no summary"
grep -Eq "^[0-9]+ samples? clipped \(peak [-+][0-9]+\.[0-9] dBFS\)" "$dir/out" || fail "no clip count in the summary: $(cat "$dir/out")"
expect 0 "$example" -o "$dir/limited.wav" --seconds 1 --limit
grep -q "samples clipped" "$dir/out" || fail "no clip count in a limited render's summary"
grep -q "lost" "$dir/out" && fail "a render reported lost frames"
# SoundIn's file through the patch, for exactly as long as it lasts.
expect 2 "$example" -o "$dir/x.wav" --soundin
grep -q "the patch has no SoundIn" "$dir/err" || fail "--soundin without SoundIn: $(cat "$dir/err")"
expect 2 "$example" -o "$dir/x.wav" --soundin --bars 2
expect 0 "$example" -o "$dir/in.wav" --seconds 0.75 --quiet
soundin() {  # a patch of SoundIn playing the named file (use it or not) into SoundOut
  local list='{  }, {  }, {  }, {  }, {  }, {  }, {  }, {  }, {  }, {  }, {  }, {  }, {  }, {  }, {  }, {  }, {  }, {  }, {  }, {  }'
  printf '.tgh 0.5\r\ntempo:\r\n\t120\r\ncontraptions:\r\n'
  printf '\tSoundIn\tSoundIn\t{ %s, "%s", 0, 0, 0, 0, 0, 0, 0 }\t{ %s }{ }{ 30 20 F Z Z 0 0 Z Z Z Z  }\t\r\n' "$1" "$2" "$list"
  printf '\tSoundOut\tSoundOut\t{ "", 0, 0, 0, 300 }\t{ %s }{ }{ 30 80 F Z Z 0 0 Z Z Z Z  }\t\r\n' "$list"
  printf 'connections:\r\n\tSoundIn\t0\tSoundOut\t0\r\n\tSoundIn\t1\tSoundOut\t1\r\nend\r\n'
}
soundin 0 "$dir/in.wav" >"$dir/file.tgh"
expect 0 "$dir/file.tgh" -o "$dir/processed.wav" --soundin --quiet
[[ $(stat -c %s "$dir/processed.wav") -eq $(stat -c %s "$dir/in.wav") ]] ||
  fail "--soundin did not render exactly the file's length"
soundin 1 "$dir/in.wav" >"$dir/device.tgh"
expect 2 "$dir/device.tgh" -o "$dir/x.wav" --soundin
grep -q "sound card" "$dir/err" || fail "--soundin in device mode: $(cat "$dir/err")"
soundin 0 "$dir/gone.wav" >"$dir/gone.tgh"
expect 2 "$dir/gone.tgh" -o "$dir/x.wav" --soundin
grep -q "not found" "$dir/err" || fail "--soundin with a missing file: $(cat "$dir/err")"
echo "1 passed, 0 failed"
