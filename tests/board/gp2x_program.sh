#!/bin/sh
# The GP2X program from start to the menu under qemu-arm, over stand-ins of
# its devices: a sparse file of physical memory with vertical sync high and
# the exit button held, a plain file as the sound device, and a host script
# as the menu program. The program (built with the stand-in board) reaches
# its devices only under ROOT.
#   gp2x_program.sh QEMU PROGRAM ROOT COPROCESSOR_IMAGE MUSIC_STREAM
set -eu
qemu=$1 program=$2 root=$3 image=$4 music=$5
mem=$root/dev/mem

rm -rf "$root"
mkdir -p "$root/dev" "$root/usr/gp2x"
truncate -s $((0xC0010000)) "$mem"
poke() {  # poke OFFSET LOW HIGH (octal bytes)
    printf "\\$2\\$3" | dd of="$mem" bs=1 seek=$(($1)) conv=notrunc status=none
}
peek16() {  # the 16-bit little-endian value at OFFSET, decimal
    od -An -tu2 -j $(($1)) -N 2 "$mem" | tr -d ' '
}
peek32() {
    od -An -tu4 -j $(($1)) -N 4 "$mem" | tr -d ' '
}
same_bytes() {  # same_bytes OFFSET FILE
    size=$(stat -c %s "$2")
    dd if="$mem" bs=4096 iflag=skip_bytes,count_bytes skip=$(($1)) count="$size" status=none | cmp -s - "$2"
}
poke 0xC0001182 020 000   # vertical sync status: bit 4 high
poke 0xC0001184 000 376   # buttons: exit (bit 8) held, the others up
poke 0xC0001186 377 377
: > "$root/dev/dsp"
cat > "$root/usr/gp2x/gp2xmenu" <<'MENU'
#!/bin/sh
echo "$PWD $#" > "$(dirname "$0")/menu-started"
MENU
chmod +x "$root/usr/gp2x/gp2xmenu"

KORVAX_GP2X_DEVICE_ROOT=$root $qemu -cpu ti925t "$program"

fail=0
check() {
    if [ "$2" != "$3" ]; then echo "FAIL: $1: $2, expected $3"; fail=1; else echo "ok: $1"; fi
}
check "the menu program replaced the process, in its folder" \
    "$(cat "$root/usr/gp2x/menu-started" 2>/dev/null)" "$root/usr/gp2x 0"
check "display control" "$(peek16 0xC00028DA)" $((0x04AB))
check "line stride" "$(peek16 0xC000290C)" 640
check "coprocessor held in reset, bank 3" "$(peek16 0xC0003B48)" $((0x83))
same_bytes 0x3000000 "$image" && r=yes || r=no
check "coprocessor image at shared memory 0" "$r" yes
check "stream offset in the control block" "$(peek32 0x3200018)" $((0x700000))
check "stream length in the control block" "$(peek32 0x320001C)" "$(stat -c %s "$music")"
check "start volume" "$(peek32 0x3200010)" 180
same_bytes 0x3700000 "$music" && r=yes || r=no
check "music stream at its offset" "$r" yes
exit $fail
