#!/bin/sh
# The whole sequence of the GP2X build's korvax.gpe in the box, in real time:
# the scene states 1..10 come in order and the program leaves for the menu by
# itself.
korvax=$1
gp2x_build=$2
fail() { echo "FAIL: $*"; exit 1; }
gpe=$gp2x_build/korvax.gpe
elf=$gp2x_build/korvax.elf
if [ ! -f "$gpe" ] || [ ! -f "$elf" ]; then
  echo "SKIP: no GP2X build in $gp2x_build (./test and ./run --gp2x make it)"
  exit 77
fi
state=$(arm-none-eabi-nm "$elf" | awk '$3 == "_ZN6korvax10SceneStateE" { print "0x" $1 }')
[ -n "$state" ] || fail "no SceneState in $elf"

out=$("$korvax" --gp2x "$gpe" --headless --no-sound --watch "$state" 2>&1) || fail "exit status $?: $out"
echo "$out"
echo "$out" | grep -q "^korvax: the GP2X program left for /usr/gp2x/gp2xmenu " || fail "menu not recorded"
states=$(echo "$out" | sed -n "s/^korvax: word at $state://p" | sed 's/@[0-9]*//g' | tr -s ' ' | sed 's/^ //')
[ "$states" = "1 2 3 4 5 6 7 8 9 10" ] || fail "states seen: $states"
echo ok
