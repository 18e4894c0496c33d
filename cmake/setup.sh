# Set-up shared by ./run and ./test: Debian packages, decoder sources, configure.

KORVAX_PACKAGES="build-essential cmake ninja-build pkg-config libgtest-dev libbenchmark-dev
  libsdl2-dev zlib1g-dev xvfb xauth xdotool ffmpeg dpkg-dev
  gcc-arm-none-eabi libnewlib-arm-none-eabi binutils-arm-none-eabi libunicorn-dev
  libogg-dev libvorbis-dev libvorbisidec-dev vorbis-tools sox
  libstdc++-arm-none-eabi-newlib qemu-user qemu-user-static
  clang-14 libclang-rt-14-dev"

korvax_setup() {
  missing=""
  for p in $KORVAX_PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
  done
  if [ -n "$missing" ]; then
    echo "korvax: installing$missing"
    if [ "$(id -u)" != 0 ]; then
      echo "korvax: missing packages need root: apt-get install$missing" >&2
      exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q || true
    # shellcheck disable=SC2086
    apt-get install -y -q --no-install-recommends $missing
  fi
  if [ -x coprocessor/fetch-decoder-sources.sh ]; then
    coprocessor/fetch-decoder-sources.sh
  fi
}

# korvax_configure DIR [cmake args]: configures once; later runs only rebuild.
korvax_configure() {
  dir=$1
  shift
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S . -B "$dir" -G Ninja "$@"
  fi
}

# korvax_gp2x_build: the GP2X program, build-gp2x/korvax.gpe. The cross build
# takes its generated data, music and coprocessor image from the host build in
# build/ (configured here if need be; only those targets are built there).
korvax_gp2x_build() {
  korvax_configure build -DCMAKE_BUILD_TYPE=Release
  korvax_configure build-gp2x -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/gp2x-toolchain.cmake" -DKORVAX_HOST_BUILD="$PWD/build"
  cmake --build build-gp2x -j"$(nproc)" "$@"
}
