#!/bin/sh
# Interrupts: SIGINT, SIGTERM and SIGHUP stop every kind of run within a second,
# cleanly, with the outputs finished and valid, and the conventional status
# (128 + the signal).
korvax=$1
# A run that failed a check is stopped, so that it does not keep the suite
# waiting to the end of the demo.
fail() { echo "FAIL: $*"; [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null; exit 1; }
# The sanitizer builds run everything several times slower: their suite sets
# KORVAX_TEST_WAIT_SCALE to stretch the waits (the shut-down bounds included).
scale=${KORVAX_TEST_WAIT_SCALE:-1}
pid=
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir" || exit 1

# Waits for the file to exist and grow past the size (the run is under way).
wait_for() {
  i=0
  while [ "$(stat -c %s "$1" 2>/dev/null || echo 0)" -le "$2" ]; do
    i=$((i + 1)); [ $i -le $((300 * scale)) ] || fail "$1 never grew"; sleep 0.1
  done
}
# Waits up to 1.5 s (times the scale) for the process to end; its status in $status.
ended_in_time() {
  i=0
  while kill -0 "$1" 2>/dev/null; do
    i=$((i + 1)); [ $i -le $((15 * scale)) ] || fail "$2: still running $((15 * scale / 10)).$((15 * scale % 10)) s after the signal"
    sleep 0.1
  done
  wait "$1"; status=$?
}
# A WAV whose header sizes agree with the file and that holds some sound.
wav_valid() {
  size=$(stat -c %s "$1")
  riff=$(od -An -tu4 -j4 -N4 "$1" | tr -d ' ')
  data=$(od -An -tu4 -j40 -N4 "$1" | tr -d ' ')
  [ "$riff" = $((size - 8)) ] || fail "$1: RIFF size $riff for a file of $size bytes"
  [ "$data" -gt 0 ] && [ $((data + 44)) -le "$size" ] || fail "$1: data size $data for a file of $size bytes"
}

# interrupted NAME SIGNAL STATUS BYTES OPTIONS...: korvax recording NAME.wav
# with OPTIONS gets SIGNAL once BYTES are recorded, ends within a second with
# STATUS, and leaves a finished recording.
interrupted() {
  name=$1 signal=$2 expected=$3 bytes=$4
  shift 4
  "$korvax" "$@" --wav "$name.wav" 2>err.txt &
  pid=$!
  wait_for ".$name.wav.korvax-$pid.part" "$bytes"
  kill -"$signal" $pid
  ended_in_time $pid "$name, SIG$signal"
  [ $status = "$expected" ] || fail "$name, SIG$signal: status $status: $(cat err.txt)"
  wav_valid "$name.wav"
}

# Virtual time, SIGINT: stops at once with the recording finished.
interrupted v INT 130 400000 --clock virtual
# Real time, SIGTERM.
interrupted r TERM 143 100000 --headless --no-sound
# SIGHUP (the terminal went away): the WAV's header still tells its length.
interrupted h HUP 129 100000 --headless --no-sound

# Ctrl-C to the whole process group during an MP4 capture: the encoder is not
# in that group; korvax finishes the video and its sound, which play.
setsid sh -c '"$1" --capture c.mp4 2>err.txt & echo $! >pid.txt; wait $!; echo $? >status.txt' sh "$korvax" &
group=$!
i=0; while [ ! -s pid.txt ]; do i=$((i + 1)); [ $i -le $((50 * scale)) ] || fail "no capture started"; sleep 0.1; done
pid=$(cat pid.txt)
wait_for .c.mp4.korvax-$pid.video.mp4 100000
env kill -s INT -- "-$group"
i=0; while [ ! -s status.txt ]; do i=$((i + 1)); [ $i -le $((30 * scale)) ] || fail "MP4 capture: no end $((3 * scale)) s after Ctrl-C"; sleep 0.1; done
[ "$(cat status.txt)" = 130 ] || fail "MP4 capture, Ctrl-C: status $(cat status.txt): $(cat err.txt)"
streams=$(ffprobe -v error -show_entries stream=codec_type -of csv=p=0 c.mp4 | sort | tr '\n' ' ')
[ "$streams" = "audio video " ] || fail "MP4 capture, Ctrl-C: streams '$streams'"
frames=$(ffprobe -v error -count_frames -select_streams v -show_entries stream=nb_read_frames -of csv=p=0 c.mp4)
[ "$frames" -gt 10 ] || fail "MP4 capture, Ctrl-C: $frames frames"
[ -z "$(find . -name '.*korvax-*')" ] || fail "temporaries left: $(find . -name '.*korvax-*')"
echo ok
