#!/bin/sh
# A machine too slow for the console (the emulated coprocessor starved through
# the test's environment): the gaps in the sound and the buffers played again
# are counted and reported at exit, and in the digest line; a run that kept up
# reports nothing.
korvax=$1
fail() { echo "FAIL: $*"; exit 1; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

out=$("$korvax" --hash --frames 400 2>"$dir/err.txt") || fail "kept up: status $?"
echo "$out" | grep -q "stale\|gaps" && fail "kept up, yet the digest line reports: $out"
grep -q "did not keep up" "$dir/err.txt" && fail "kept up, yet: $(cat "$dir/err.txt")"

out=$(KORVAX_TEST_COPROCESSOR_PERCENT=3 "$korvax" --hash --frames 400 2>"$dir/err.txt") || fail "starved: status $?"
echo "$out" | grep -q ", [1-9][0-9]* sound gaps, [1-9][0-9]* stale sound buffers$" || fail "starved, digest line: $out"
grep -q "did not keep up with the console: [1-9][0-9]* gaps in the sound.*[1-9][0-9]* sound buffers played again" \
  "$dir/err.txt" || fail "starved: $(cat "$dir/err.txt")"
# Starved a little: old samples are played again before any gap is heard.
out=$(KORVAX_TEST_COPROCESSOR_PERCENT=5 "$korvax" --hash --frames 400 2>"$dir/err.txt") || fail "starved: status $?"
echo "$out" | grep -q ", [1-9][0-9]* stale sound buffers$" || fail "starved a little, digest line: $out"
echo ok
