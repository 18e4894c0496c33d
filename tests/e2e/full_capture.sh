#!/bin/sh
# The whole demo captured to MP4 (label "long", left out of ./test): the video
# has every frame the run scanned out, lasts as long as the sequence, and its
# sound track lasts as long as its picture.
korvax=$1
fail() { echo "FAIL: $*"; exit 1; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
start=$(date +%s)
"$korvax" --capture "$dir/demo.mp4" 2>"$dir/err.txt" || fail "status $?: $(tail -n 3 "$dir/err.txt")"
echo "captured in $(($(date +%s) - start)) s"
told=$(sed -n 's/.*the video is in .* (\([0-9]*\) frames.*/\1/p' "$dir/err.txt")
frames=$(ffprobe -v error -count_frames -select_streams v -show_entries stream=nb_read_frames -of csv=p=0 "$dir/demo.mp4")
[ -n "$told" ] && [ "$frames" = "$told" ] || fail "$frames frames in the video, $told captured"
video=$(ffprobe -v error -select_streams v -show_entries stream=duration -of csv=p=0 "$dir/demo.mp4")
audio=$(ffprobe -v error -select_streams a -show_entries stream=duration -of csv=p=0 "$dir/demo.mp4")
echo "$frames frames, video $video s, sound $audio s"
# The sequence: 145.1 s of music after the start-up, the two black frames.
awk -v v="$video" -v f="$frames" 'BEGIN { exit !(v > 144.5 && v < 146.5 && (v * 60 - f) < 1 && (f - v * 60) < 1) }' ||
  fail "video of $video s for $frames frames"
awk -v v="$video" -v a="$audio" 'BEGIN { d = v - a; exit !(d < 0.05 && d > -0.05) }' || fail "sound of $audio s"
echo ok
