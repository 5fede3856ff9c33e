#!/usr/bin/env bash
# tonegarden-play on the silent device: exit statuses, status lines, a clean
# stop on SIGTERM during a take, SIGHUP reading a changed patch, a device
# that cannot be opened. With "jack" as the third argument: playing through
# the dummy JACK server instead.
set -u
play="$1"
example="$2"
dir="$(mktemp -d)"
pid=""
trap '[[ -n "$pid" ]] && kill -KILL "$pid" 2>/dev/null; rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
export XDG_CONFIG_HOME="$dir/config"  # settings of its own, never the user's
# Waits (up to a minute: CI machines are slow) until the command succeeds.
wait_for() {
  for _ in $(seq 1200); do "$@" && return 0; sleep 0.05; done
  return 1
}

if [[ "${3:-}" == "jack" ]]; then
  unset TONEGARDEN_AUDIO
  "$play" "$example" --device JACK --seconds 2 --status >"$dir/out" 2>"$dir/err" ||
    fail "playing through JACK: $(cat "$dir/err")"
  [[ $(wc -l <"$dir/out") -eq 2 ]] || fail "two seconds gave these status lines: $(cat "$dir/out")"
  # Leading the JACK transport: the clock starts with the transport it starts.
  "$play" "$example" --device JACK --jack-transport lead --seconds 3 --status >"$dir/out" \
    2>"$dir/err" || fail "leading the JACK transport: $(cat "$dir/err")"
  [[ "$(sed -n 3p "$dir/out")" =~ ^1:[1-4]\ \ 120\.0 ]] ||
    fail "leading the JACK transport, the clock did not run: $(cat "$dir/out") $(cat "$dir/err")"
  echo "2 passed, 0 failed"
  exit 0
fi
export TONEGARDEN_AUDIO=silent

expect() {
  local want="$1"; shift
  "$play" "$@" >"$dir/out" 2>"$dir/err"
  local got=$?
  [[ $got -eq $want ]] || fail "tonegarden-play $* gave $got, not $want: $(cat "$dir/err")"
}
expect 0 --help
expect 0 --version
expect 2
expect 2 "$example" --seconds 0
expect 2 "$example" --buffers 40
expect 2 "$example" --buffer-bytes 1028  # not whole blocks
expect 2 "$example" --clock
expect 2 "$example" --clock sundial
expect 2 "$example" --nonsense
expect 2 "$example" --jack-transport sideways
grep -q -- "--jack-transport needs off, follow or lead" "$dir/err" ||
  fail "a bad --jack-transport is not said: $(cat "$dir/err")"
expect 3 "$dir/missing.tgh"
expect 2 "$example" --capture-dir "$dir/no such folder"
expect 6 "$example" --device "no such device" --seconds 1
grep -q "Silent (no sound card)" "$dir/err" || fail "the devices are not listed: $(cat "$dir/err")"

# Five seconds of clock: five lines, bar:beat moving on at 120 bpm.
expect 0 "$example" --seconds 3 --status --buffers 3 --buffer-bytes 3072
[[ $(wc -l <"$dir/out") -eq 3 ]] || fail "three seconds gave these status lines: $(cat "$dir/out")"
[[ "$(sed -n 3p "$dir/out")" =~ ^1:[1-4]\ \ 120\.0\ \ [0-9]+\.[0-9]{2}\ %\ \ [0-9]+$ ]] ||
  fail "the third status line is not in the second bar at 120 bpm: $(cat "$dir/out")"
[[ ! -e "$XDG_CONFIG_HOME/Kestrelworks/Tonegarden.conf" ]] ||
  ! grep -q "3072" "$XDG_CONFIG_HOME/Kestrelworks/Tonegarden.conf" ||
  fail "the buffers of one run were stored"

# A take running when SIGTERM comes: the output fades, the take is closed
# whole, and the status is 0.
sed -e 's/SoundOut\tSoundOut\t{ "", 0, 0, 0, 300 }/SoundOut\tSoundOut\t{ "take.wav", 0, 1, 0, 300 }/' \
  "$example" >"$dir/take.tgh"
grep -q '"take.wav", 0, 1' "$dir/take.tgh" || fail "the take patch was not made"
"$play" "$dir/take.tgh" --record >"$dir/out" 2>"$dir/err" &
pid=$!
grown() { [[ $(stat -c %s "$dir/take.wav" 2>/dev/null || echo 0) -gt 200000 ]]; }
wait_for grown || fail "no take was recorded: $(cat "$dir/err")"
kill -TERM "$pid"
start=$(date +%s%N)
wait "$pid"
got=$?
pid=""
ms=$((($(date +%s%N) - start) / 1000000))
[[ $got -eq 0 ]] || fail "SIGTERM gave $got: $(cat "$dir/err")"
# Only a hang fails: how fast it stops depends on how loaded the machine is.
((ms < 20000)) || fail "SIGTERM took $ms ms to stop"
bytes=$(stat -c %s "$dir/take.wav")
data=$(od -An -tu4 -j40 -N4 "$dir/take.wav" | tr -d ' ')
[[ $data -eq $((bytes - 44)) ]] || fail "the take's header says $data bytes of $((bytes - 44))"
((data > 200000 && data % 4 == 0)) || fail "the take holds $data bytes"

# SIGUSR1 saves the last minutes to the capture folder while playing goes on.
mkdir "$dir/captures"
status_lines_over() { [[ $(wc -l <"$dir/out") -gt $1 ]]; }
"$play" "$example" --status --capture-dir "$dir/captures" >"$dir/out" 2>"$dir/err" &
pid=$!
wait_for status_lines_over 1 || fail "no status lines: $(cat "$dir/err")"
kill -USR1 "$pid"
wait_for grep -q "saved .* frames to $dir/captures/last-minutes-" "$dir/err" ||
  fail "SIGUSR1 saved nothing: $(cat "$dir/err")"
capture=$(ls "$dir/captures"/last-minutes-*.wav)
[[ $(ls "$dir/captures" | wc -l) -eq 1 ]] || fail "the capture folder holds $(ls "$dir/captures")"
lines=$(wc -l <"$dir/out")
wait_for status_lines_over "$lines" || fail "playing stopped after the capture"
kill -INT "$pid"
wait "$pid"
got=$?
pid=""
[[ $got -eq 0 ]] || fail "SIGINT after a capture gave $got: $(cat "$dir/err")"
bytes=$(stat -c %s "$capture")
data=$(od -An -tu4 -j40 -N4 "$capture" | tr -d ' ')
[[ $data -eq $((bytes - 44)) ]] || fail "the capture's header says $data bytes of $((bytes - 44))"
((data >= 2 * 44100 * 4)) || fail "two seconds played, but the capture holds $data bytes"
# The example's tone is in it, not silence.
od -An -td2 -j44 -v "$capture" | tr -s ' ' '\n' | grep -qv '^-\?0\?$' ||
  fail "the capture is silent"

# SIGHUP reads the changed patch: its new tempo shows in the status.
cp "$example" "$dir/hup.tgh"
"$play" "$dir/hup.tgh" --status >"$dir/out" 2>"$dir/err" &
pid=$!
wait_for grep -q "120.0" "$dir/out" || fail "no status line: $(cat "$dir/err")"
sed -i 's/^\t120\r\?$/\t90/' "$dir/hup.tgh"
kill -HUP "$pid"
wait_for grep -q "  90.0  " "$dir/out" || fail "SIGHUP did not take up the new tempo: $(cat "$dir/out")"
kill -INT "$pid"
wait "$pid"
got=$?
pid=""
[[ $got -eq 0 ]] || fail "SIGINT gave $got: $(cat "$dir/err")"
echo "1 passed, 0 failed"
