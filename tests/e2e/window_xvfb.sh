#!/bin/sh
# The window under a virtual X server: it opens at 320x240 times the scale,
# shows the console's frames, and closes on the exit key (Escape).
korvax=$1
if [ -z "$INSIDE_XVFB" ]; then
  INSIDE_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
fail() { echo "FAIL: $*"; kill "$pid" 2>/dev/null; exit 1; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

"$korvax" --scale 2 --screenshot "$dir/shot.png" > "$dir/out.txt" 2>&1 &
pid=$!
wid=$(timeout 20 xdotool search --sync --onlyvisible --name '^korvax$' | head -n 1)
[ -n "$wid" ] || fail "no window: $(cat "$dir/out.txt")"
geometry=$(xdotool getwindowgeometry "$wid" | sed -n 's/.*Geometry: //p')
position=$(xdotool getwindowgeometry "$wid" | sed -n 's/.*Position: \([0-9]*,[0-9]*\).*/\1/p')
[ "$geometry" = "640x480" ] || fail "window is $geometry, not 640x480"

# A frame reaches the screen: grab the window's area from the X server.
sleep 1
ffmpeg -loglevel error -f x11grab -video_size 640x480 -i "$DISPLAY+${position:-0,0}" -frames:v 1 -y "$dir/grab.png" ||
  fail "cannot grab the screen"
[ -s "$dir/grab.png" ] || fail "empty grab"

xdotool windowfocus --sync "$wid" 2>/dev/null || true
xdotool key --window "$wid" Escape
xdotool key Escape
i=0
while kill -0 "$pid" 2>/dev/null; do
  i=$((i + 1))
  [ $i -le 100 ] || fail "still running 10 s after the exit key"
  sleep 0.1
done
wait "$pid" || fail "exit status $?"
[ -s "$dir/shot.png" ] || fail "no screenshot at exit"
grep -q headless "$dir/out.txt" && fail "ran headless: $(cat "$dir/out.txt")"
echo ok
