#!/bin/sh
# korvax --headless --frames 30 exits 0 and its screenshot is the black end frame.
# Without a real display (none at all, or SDL's offscreen and dummy drivers that
# show nothing) it says so in one line and renders the demo to korvax.mp4 in the
# current folder instead, with a progress line, and says where the video is;
# the libraries' own chatter stays off the terminal.
korvax=$1
fail() { echo "FAIL: $*"; exit 1; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir" || exit 1
"$korvax" --headless --frames 30 --screenshot end.png || fail "exit status $?"
[ -s end.png ] || fail "no screenshot"
head -c 8 end.png | od -An -c | grep -q 'P   N   G' || fail "not a PNG"

for driver in x11 offscreen dummy; do
  rm -f korvax.mp4
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_RUNTIME_DIR SDL_VIDEODRIVER=$driver "$korvax" --frames 20 2>&1) ||
    fail "$driver: no-display run failed: $out"
  echo "$out" | head -n 1 | grep -q "^korvax: no display available (.*): rendering the demo to korvax.mp4 instead$" ||
    fail "$driver: no notice first: $out"
  [ -s korvax.mp4 ] || fail "$driver: no korvax.mp4"
  echo "$out" | grep -q "^korvax: korvax.mp4 [0-9]*% (" || fail "$driver: no progress line: $out"
  echo "$out" | tail -n 1 | grep -q "^korvax: the video is in $dir/korvax.mp4 (" || fail "$driver: not told where: $out"
  # Every line is ours.
  echo "$out" | grep -v '^korvax: ' && fail "$driver: library noise on the terminal"
done

# No display and no ffmpeg to render with: said in one line, status 2, nothing run.
mkdir nobin
out=$(env -u DISPLAY -u WAYLAND_DISPLAY SDL_VIDEODRIVER=offscreen PATH="$dir/nobin" "$korvax" --frames 20 2>&1)
[ $? = 2 ] || fail "no display, no ffmpeg: status"
echo "$out" | grep -q "no display available .* and no ffmpeg" || fail "no display, no ffmpeg: $out"
[ "$(echo "$out" | grep -c .)" = 1 ] || fail "no display, no ffmpeg: not one line: $out"
echo ok
