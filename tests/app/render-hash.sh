#!/usr/bin/env bash
# The sixteen-delay workload's 2-second render with fixed seeds, pinned to a
# hash: speed work must not change a byte. Change the hash only with a change
# that is meant to alter the sound, and say so.
set -u
render="$1"
patch="$2"
expected=796271830f8c7a7dc1fb9bf97b2e6c7e5d91c9e045f86f896d7dce5b9794adbf
out="$(mktemp --suffix=.wav)"
trap 'rm -f "$out"' EXIT
# One thread, and helpers sharing the passes, must both give it.
for threads in 1 2 3; do
  "$render" "$patch" -o "$out" --seconds 2 --seed 1 --threads "$threads" --quiet ||
    { echo "FAIL: the render with $threads threads failed"; exit 1; }
  got="$(sha256sum "$out" | cut -d' ' -f1)"
  if [[ "$got" != "$expected" ]]; then
    echo "FAIL: with $threads threads the render's hash is $got, not $expected"
    exit 1
  fi
done
echo "3 passed, 0 failed"
