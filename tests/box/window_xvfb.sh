#!/bin/sh
# The box with its window under a virtual X server: the program's frames are
# shown, the volume keys hold the program's volume buttons down, and the exit
# key ends it through the menu, status 0.
korvax=$1
probe=$2
if [ -z "$INSIDE_XVFB" ]; then
  INSIDE_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
fail() { echo "FAIL: $*"; kill "$pid" 2>/dev/null; exit 1; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

"$korvax" --gp2x "$probe" --no-sound --scale 1 > "$dir/out.txt" 2>&1 &
pid=$!
wid=$(timeout 20 xdotool search --sync --onlyvisible --name '^korvax$' | head -n 1)
[ -n "$wid" ] || fail "no window: $(cat "$dir/out.txt")"
xdotool windowfocus --sync "$wid" 2>/dev/null || true
sleep 0.5
xdotool keydown --window "$wid" plus; sleep 0.5; xdotool keyup --window "$wid" plus
xdotool keydown --window "$wid" minus; sleep 0.5; xdotool keyup --window "$wid" minus
xdotool key --window "$wid" Escape
i=0
while kill -0 "$pid" 2>/dev/null; do
  i=$((i + 1))
  [ $i -le 200 ] || fail "still running 20 s after the exit key"
  sleep 0.1
done
wait "$pid" || fail "exit status $?: $(cat "$dir/out.txt")"
out=$(cat "$dir/out.txt")
echo "$out"
echo "$out" | grep -q headless && fail "ran headless"
echo "$out" | grep -q "^probe: frames with volume up held [1-9]" || fail "volume up never seen"
echo "$out" | grep -q "^probe: frames with volume down held [1-9]" || fail "volume down never seen"
echo "$out" | grep -q "^korvax: the GP2X program left for /usr/gp2x/gp2xmenu " || fail "no menu"
echo ok
