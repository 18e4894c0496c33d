#!/bin/sh
# The command line: bad options and combinations that cannot be carried out are
# refused before anything runs (one line naming the option, the usage, status 2);
# --help and --version answer with status 0.
korvax=$1
fail() { echo "FAIL: $*"; exit 1; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir" || exit 1

for args in "--bogus" "--scale 0" "--frames" "--scale abc" "--wav" "--scale +3" "--scale 3x" "--frames -1" \
            "--capture-scale 0"; do
  # shellcheck disable=SC2086
  out=$("$korvax" $args 2>&1 >/dev/null)
  status=$?
  [ $status -eq 2 ] || fail "'$args' exited $status"
  first=$(echo "$out" | head -n 1)
  opt=${args%% *}
  echo "$first" | grep -q -- "$opt" || fail "'$args': first line does not name the option: $first"
  echo "$out" | sed -n 2p | grep -q '^usage: korvax' || fail "'$args': no usage line"
done
# A leading space is no number either.
"$korvax" --scale " 3" >/dev/null 2>&1
[ $? -eq 2 ] || fail "--scale ' 3' accepted"

# Capture and digest need virtual time: asked for with real time, they are refused.
for args in "--capture frames --clock real" "--clock real --capture x.mp4" "--hash --clock real" \
            "--capture frames --capture-scale 2"; do
  # shellcheck disable=SC2086
  out=$("$korvax" $args 2>&1 >/dev/null)
  status=$?
  [ $status -eq 2 ] || fail "'$args' exited $status: $out"
done
[ -z "$(ls -A)" ] || fail "a refused command line left files: $(ls -A)"

# --hash alone runs in virtual time: it counts every frame.
out=$("$korvax" --hash --frames 5) || fail "--hash --frames 5 exited $?"
echo "$out" | grep -q '^korvax: [1-9][0-9]* frames, [0-9]* sound bytes, digest [0-9a-f]\{16\}$' || fail "--hash: $out"

# --help: every option, the keys, the exit statuses and an example.
help=$("$korvax" --help) || fail "--help exited $?"
for word in --scale --headless --frames --screenshot --vsync-mode --wav --no-sound --clock --capture \
            --capture-scale --hash --help --version Escape F11 "Exit status" 130 143 Example; do
  echo "$help" | grep -q -- "$word" || fail "--help does not mention $word"
done
echo "$help" | head -n 1 | grep -q '^usage: korvax' || fail "--help does not start with the usage"
"$korvax" --version | grep -q '^korvax [0-9]' || fail "--version"
echo ok
