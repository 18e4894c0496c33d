#!/bin/sh
# The whole sequence of the GP2X build's korvax.gpe in the box, in real time:
# the scene states 1..10 come in order and the program leaves for the menu by
# itself.
. "$(dirname "$0")/gpe_setup.sh"
out=$("$korvax" --gp2x "$gpe" --headless --no-sound --watch "$state" 2>&1) || fail "exit status $?: $out"
echo "$out"
echo "$out" | grep -q "^korvax: the GP2X program left for /usr/gp2x/gp2xmenu " || fail "menu not recorded"
states=$(echo "$out" | sed -n "s/^korvax: word at $state://p" | sed 's/@[0-9]*//g' | tr -s ' ' | sed 's/^ //')
[ "$states" = "1 2 3 4 5 6 7 8 9 10" ] || fail "states seen: $states"
echo ok
