#!/bin/sh
# Bad options: one line naming the option, then the usage, exit status 2.
korvax=$1
fail() { echo "FAIL: $*"; exit 1; }
for args in "--bogus" "--scale 0" "--frames" "--scale abc" "--wav" "--watch 0x100" "--gp2x x.gpe --watch 3"; do
  # shellcheck disable=SC2086
  out=$("$korvax" $args 2>&1 >/dev/null)
  status=$?
  [ $status -eq 2 ] || fail "'$args' exited $status"
  first=$(echo "$out" | head -n 1)
  opt=$(echo "$args" | grep -o -- "--[a-z]*" | tail -n 1)
  echo "$first" | grep -q -- "$opt" || fail "'$args': first line does not name the option: $first"
  echo "$out" | sed -n 2p | grep -q '^usage: korvax' || fail "'$args': no usage line"
done
"$korvax" --help | grep -q '^usage: korvax' || fail "--help"
echo ok
