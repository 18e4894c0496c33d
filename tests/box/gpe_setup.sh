# Shared by the korvax.gpe box tests (sourced): $1 the korvax program, $2 the
# GP2X build. Sets korvax, gpe, elf, fail and state (the address of SceneState
# in the program, for --watch); skips (status 77) without a GP2X build.
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
