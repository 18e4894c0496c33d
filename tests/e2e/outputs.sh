#!/bin/sh
# Outputs: what cannot be written is refused before the run or reported with a
# one-line message naming the path and a non-zero status; a path holds either a
# complete output or nothing new.
korvax=$1
fail() { echo "FAIL: $*"; exit 1; }
dir=$(mktemp -d)
trap 'chmod -R u+w "$dir"; rm -rf "$dir"' EXIT
cd "$dir" || exit 1
run() { "$korvax" "$@" >out.txt 2>err.txt; echo $?; }
no_temporaries() { [ -z "$(find . -name '.*korvax-*')" ] || fail "$1: temporaries left: $(find . -name '.*korvax-*')"; }
names_once() { [ "$(grep -c "cannot write $1\|$1" err.txt)" -ge 1 ] || fail "no message names $1: $(cat err.txt)"; }

# Screenshots that cannot be written.
[ "$(run --headless --frames 3 --screenshot /nonexistent/x.png)" = 1 ] || fail "screenshot into a missing folder"
grep -q "cannot write /nonexistent/x.png" err.txt || fail "missing folder: $(cat err.txt)"
mkdir shots
[ "$(run --headless --frames 3 --screenshot shots)" = 2 ] || fail "screenshot onto a folder"
grep -q "cannot write shots: it is a folder" err.txt || fail "folder: $(cat err.txt)"
[ "$(run --headless --frames 3 --screenshot /dev/full)" = 1 ] || fail "screenshot onto /dev/full"
grep -q "cannot write /dev/full" err.txt || fail "/dev/full: $(cat err.txt)"
mkdir ro && chmod a-w ro
if ! touch ro/probe 2>/dev/null; then  # (root writes anywhere)
  [ "$(run --headless --frames 3 --screenshot ro/x.png)" = 1 ] || fail "screenshot into a read-only folder"
  [ "$(run --clock virtual --frames 3 --capture ro/x.mp4)" = 1 ] || fail "MP4 into a read-only folder"
  grep -q "cannot write ro/x.mp4" err.txt || fail "read-only MP4 message does not name it: $(cat err.txt)"
fi
rm -f ro/probe

# The digest that cannot be written is an error.
"$korvax" --hash --frames 3 >/dev/full 2>err.txt
[ $? = 1 ] || fail "--hash into /dev/full"
grep -q "cannot write the digest" err.txt || fail "digest into /dev/full: $(cat err.txt)"
"$korvax" --hash --frames 3 >&- 2>err.txt
[ $? = 1 ] || fail "--hash with standard output closed"

# A failed run leaves nothing new: not even the --wav recording.
[ "$(run --frames 3 --wav rec.wav --capture /nonexistent/f)" = 1 ] || fail "capture into a missing folder"
[ ! -e rec.wav ] || fail "a failed run left rec.wav"
no_temporaries "failed run"

# A capture folder that already holds files, or a file, is refused before the run.
[ "$(run --frames 3 --capture frames)" = 0 ] || fail "PNG capture: $(cat err.txt)"
count=$(ls frames | wc -l)
[ "$count" -gt 3 ] || fail "PNG capture wrote $count frames"
[ "$(run --frames 10 --capture frames)" = 2 ] || fail "capture into a folder with frames"
[ "$(ls frames | wc -l)" = "$count" ] || fail "the second capture changed the folder"
touch plain
[ "$(run --frames 3 --capture plain)" = 2 ] || fail "capture onto a file"
grep -q "plain: it is a file, not a folder" err.txt || fail "capture onto a file: $(cat err.txt)"
mkdir empty
[ "$(run --frames 3 --capture empty)" = 0 ] || fail "capture into an empty folder: $(cat err.txt)"
[ -s empty/frame_000000.png ] || fail "nothing captured into the empty folder"

# The MP4 suffix in any case is a video, not a folder of frames.
[ "$(run --frames 3 --capture UP.MP4)" = 0 ] || fail "UP.MP4: $(cat err.txt)"
[ -f UP.MP4 ] || fail "UP.MP4 is not a file"
no_temporaries "MP4 capture"

# No ffmpeg: refused before the run with a clear line.
mkdir bin
out=$(PATH="$dir/bin" "$korvax" --frames 3 --capture none.mp4 2>&1)
[ $? = 2 ] || fail "no ffmpeg: status"
echo "$out" | grep -q "needs the ffmpeg program" || fail "no ffmpeg: $out"
[ ! -e none.mp4 ] || fail "no ffmpeg: none.mp4 exists"

# Only the final mux fails: the silent video and the sound are kept and named.
real=$(command -v ffmpeg)
cat >bin/ffmpeg <<SCRIPT
#!/bin/sh
case " \$* " in *" -c:a "*) echo "no room for the sound" >&2; exit 1;; esac
exec "$real" "\$@"
SCRIPT
chmod +x bin/ffmpeg
PATH="$dir/bin:$PATH" "$korvax" --frames 3 --capture mux.mp4 >out.txt 2>err.txt
[ $? = 1 ] || fail "failed mux: status"
grep -q "cannot add the sound to mux.mp4" err.txt || fail "failed mux: $(cat err.txt)"
grep -q "mux.video.mp4" err.txt && grep -q "mux.sound.wav" err.txt || fail "failed mux: pieces not named"
[ ! -e mux.mp4 ] || fail "failed mux: mux.mp4 exists"
[ -s mux.video.mp4 ] && [ -s mux.sound.wav ] || fail "failed mux: pieces not kept"
no_temporaries "failed mux"

# A full disk (a 1 MB file system of its own): the first write error stops the
# run, names the file, and what cannot be used is removed.
full_disk() {  # TARGET OPTIONS...: runs korvax in a full folder, sets $status
  target=$1; shift
  mkdir -p disk
  unshare -rm sh -c 'mount -t tmpfs -o size=1m none disk && cd disk && "$@" >../out.txt 2>../err.txt; echo $? >../status.txt; ls -A >../left.txt' \
    sh "$korvax" --frames 600 "$@" || return 1
  status=$(cat status.txt)
}
if unshare -rm true 2>/dev/null; then
  full_disk full --capture full || fail "cannot mount a small file system"
  [ "$status" = 1 ] || fail "full disk, PNG: status $status"
  grep -q "cannot write full/frame_[0-9]*.png: No space left on device" err.txt || fail "full disk, PNG: $(cat err.txt)"
  [ ! -s left.txt ] || fail "full disk, PNG: left $(cat left.txt)"
  full_disk full.mp4 --capture full.mp4
  [ "$status" = 1 ] || fail "full disk, MP4: status $status"
  grep -q "cannot write full.mp4" err.txt || fail "full disk, MP4: $(cat err.txt)"
  [ ! -s left.txt ] || fail "full disk, MP4: left $(cat left.txt)"
  full_disk full.wav --clock virtual --wav full.wav
  [ "$status" = 1 ] || fail "full disk, WAV: status $status"
  grep -q "cannot write full.wav: No space left on device" err.txt || fail "full disk, WAV: $(cat err.txt)"
  [ ! -s left.txt ] || fail "full disk, WAV: left $(cat left.txt)"
  # A read-only file system: refused before the run, the message names the path asked for.
  mkdir -p rofs
  unshare -rm sh -c 'mount -t tmpfs -o ro none rofs && "$@" --headless --frames 3 --screenshot rofs/x.png 2>err.txt; echo $? >status.txt; "$@" --frames 3 --capture rofs/x.mp4 2>err2.txt; echo $? >>status.txt' \
    sh "$korvax"
  [ "$(cat status.txt | tr '\n' ' ')" = "1 1 " ] || fail "read-only file system: status $(cat status.txt)"
  grep -q "cannot write rofs/x.png: Read-only file system" err.txt || fail "read-only screenshot: $(cat err.txt)"
  grep -q "cannot write rofs/x.mp4: Read-only file system" err2.txt || fail "read-only MP4: $(cat err2.txt)"
else
  echo "(no user namespaces: the full-disk and read-only cases are not run)"
fi
no_temporaries "full disk"
echo ok
