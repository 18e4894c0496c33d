#!/bin/sh
# Faults of the program in the box end the run with a report and a failing
# status; the program cannot reach the PC's devices; no qemu is one clear line.
korvax=$1
probe=$2
fail() { echo "FAIL: $*"; exit 1; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

# A store to address 0 ends the program with SIGSEGV.
ln -s "$probe" "$dir/probe-crash"
out=$("$korvax" --gp2x "$dir/probe-crash" --headless --no-sound 2>&1) && fail "a crash reported as success: $out"
echo "$out" | grep -q "^korvax: the GP2X program was ended by signal 11 " || fail "crash not reported: $out"

# The program killed mid-run.
"$korvax" --gp2x "$probe" --headless --no-sound > "$dir/killed.out" 2>&1 &
korvax_pid=$!
program=""
for i in $(seq 100); do
  program=$(cat /proc/$korvax_pid/task/*/children 2>/dev/null | tr -d ' \n')
  [ -n "$program" ] && grep -q "coprocessor moved" "$dir/killed.out" && break
  sleep 0.1
done
[ -n "$program" ] || fail "no program process"
kill -KILL "$program"
wait $korvax_pid && fail "a killed program reported as success"
grep -q "^korvax: the GP2X program was ended by signal 9 " "$dir/killed.out" || fail "kill not reported: $(cat "$dir/killed.out")"

# No way to the PC's devices: the program runs without privileges, so even a
# device node of the PC's memory cannot be made (or opened) from the box.
ln -s "$probe" "$dir/probe-rights"
out=$("$korvax" --gp2x "$dir/probe-rights" --headless --no-sound 2>&1)
echo "$out" | grep -q "^probe: mknod -1$" || fail "the program may make device nodes: $out"
if [ "$(id -u)" = 0 ]; then
  echo "$out" | grep -q "^probe: uid 65534$" || fail "the program keeps its user: $out"
fi
# It left without starting the menu: a fault too.
echo "$out" | grep -q "without starting the menu" || fail "no report of the missing menu: $out"

# Without qemu: one line, a failing status.
out=$(PATH=/nonexistent "$korvax" --gp2x "$probe" --headless --no-sound 2>&1) && fail "ran without qemu"
[ "$(echo "$out" | grep -c .)" -eq 1 ] || fail "not one line: $out"
echo "$out" | grep -q "qemu-arm-static not found" || fail "unclear: $out"
echo ok
