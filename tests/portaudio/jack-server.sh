#!/usr/bin/env bash
# Starts (start) or stops (stop) a JACK server with the dummy driver for the
# PortAudio tests, named by JACK_DEFAULT_SERVER as every client finds it. A
# server that was already running is left alone. Always exits 0: without
# JACK the tests skip themselves.
server="${JACK_DEFAULT_SERVER:-default}"
state="${TMPDIR:-/tmp}/tonegarden-jack-$server.pid"
log="${TMPDIR:-/tmp}/tonegarden-jackd-$server.log"
case "$1" in
  start)
    rm -f "$state"
    command -v jackd >/dev/null || { echo "jackd is not installed"; exit 0; }
    if jack_lsp >/dev/null 2>&1; then echo "a JACK server is already running"; exit 0; fi
    jackd -n "$server" --no-realtime -d dummy -r 44100 -p 512 >"$log" 2>&1 &
    echo $! >"$state"
    for _ in $(seq 50); do
      jack_lsp >/dev/null 2>&1 && { echo "JACK dummy server started"; exit 0; }
      sleep 0.1
    done
    echo "JACK did not start; see $log"
    ;;
  stop)
    [[ -f "$state" ]] || exit 0
    pid="$(cat "$state")"
    kill "$pid" 2>/dev/null
    for _ in $(seq 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null
    rm -f "$state"
    ;;
esac
exit 0
