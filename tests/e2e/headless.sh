#!/bin/sh
# korvax --headless --frames 30 exits 0 and its screenshot is the black end frame;
# without a display it falls back to headless with a one-line notice.
korvax=$1
fail() { echo "FAIL: $*"; exit 1; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
"$korvax" --headless --frames 30 --screenshot "$dir/end.png" || fail "exit status $?"
[ -s "$dir/end.png" ] || fail "no screenshot"
head -c 8 "$dir/end.png" | od -An -c | grep -q 'P   N   G' || fail "not a PNG"

out=$(env -u DISPLAY -u WAYLAND_DISPLAY SDL_VIDEODRIVER=x11 "$korvax" --frames 5 2>&1) || fail "no-display run failed"
# A machine without a sound card adds its own one-line notice.
[ "$(echo "$out" | grep -c "no sound card")" -le 1 ] || fail "sound notice is not one line: $out"
out=$(echo "$out" | grep -v "no sound card")
echo "$out" | grep -q "running headless" || fail "no headless notice: $out"
[ "$(echo "$out" | grep -c .)" -eq 1 ] || fail "notice is not one line: $out"
echo ok
