#!/bin/sh
# The probe in the box: its frames are shown and counted, the ARM940T runs its
# program on the shared memory and stops when held, every sound byte arrives in
# order and the device paces the writer, the exit button ends it with two black
# frames and the menu it starts is recorded with its arguments.
korvax=$1
probe=$2
fail() { echo "FAIL: $*"; exit 1; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

out=$("$korvax" --gp2x "$probe" --headless --no-sound --frames 90 --wav "$dir/box.wav" 2>&1) ||
  fail "exit status $?: $out"
echo "$out"
echo "$out" | grep -q "^probe: coprocessor counted [1-9]" || fail "the ARM940T did not run"
echo "$out" | grep -q "^probe: coprocessor moved after the halt by 0$" || fail "the ARM940T did not stop"
frames=$(echo "$out" | sed -n 's/^probe: frames \([0-9]*\)$/\1/p')
# The exit button is pressed at the 90th flip; the probe sees it then or, on a
# busy PC, a few frames later.
[ -n "$frames" ] && [ "$frames" -ge 90 ] && [ "$frames" -le 96 ] || fail "the probe ran $frames frames"
flips=$((frames + 2))
echo "$out" | grep -q "^korvax: $flips frames flipped, $frames of them pictures (the first at flip 1,.*the last 2 black$" ||
  fail "frames seen: $out"
echo "$out" | grep -q "^korvax: the GP2X program left for /usr/gp2x/gp2xmenu (arguments: probe left; directory /usr/gp2x; 0 environment strings)$" ||
  fail "menu not recorded"

# Every byte the probe wrote, in order: the same stream it writes to standard output.
tail -c +45 "$dir/box.wav" > "$dir/box.pcm"
[ "$(stat -c %s "$dir/box.pcm")" -eq $((frames * 2940)) ] || fail "$(stat -c %s "$dir/box.pcm") sound bytes for $frames frames"
qemu-arm-static -cpu ti925t "$probe" pattern "$frames" > "$dir/expected.pcm" || fail "probe pattern"
cmp "$dir/box.pcm" "$dir/expected.pcm" || fail "the sound differs from what the probe wrote"

# Writes as fast as the device takes them: two seconds of sound take two seconds
# less what the pipe and the device hold (about 60 ms).
ln -s "$probe" "$dir/probe-sound"
out=$("$korvax" --gp2x "$dir/probe-sound" --headless --no-sound 2>&1) || fail "sound run: exit status $?: $out"
ms=$(echo "$out" | sed -n 's/^probe: two seconds of sound took ms \([0-9]*\)$/\1/p')
[ -n "$ms" ] && [ "$ms" -ge 1850 ] || fail "two seconds of sound written in $ms ms: the device does not pace"
echo ok
