#!/bin/sh
# Fetches and unpacks the sources of Tremor (libvorbisidec) and libogg that the
# coprocessor image is built from, into third_party/downloads/ (not versioned):
#   third_party/downloads/tremor/   libvorbisidec's upstream tree
#   third_party/downloads/libogg/   libogg's upstream tree
#
# Run as root. Idempotent: when both trees are unpacked it returns at once.
# The source archives come from the distribution's own package mirror: a
# deb-src entry is derived from /etc/apt/sources.list.d/debian.sources (the
# same mirrors, "Types: deb" turned into "Types: deb-src") and written to a
# file of its own; apt's index is refreshed only when it lacks the sources.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
downloads="$root/third_party/downloads"
tremor="$downloads/tremor"
libogg="$downloads/libogg"

if [ -f "$tremor/ivorbisfile.h" ] && [ -f "$libogg/src/framing.c" ]; then
    exit 0
fi

mkdir -p "$downloads"

# 1. A deb-src entry for the machine's own mirrors.
system_sources=/etc/apt/sources.list.d/debian.sources
our_sources=/etc/apt/sources.list.d/korvax-deb-src.sources
if [ ! -f "$our_sources" ]; then
    if [ ! -f "$system_sources" ]; then
        echo "fetch-decoder-sources: $system_sources not found" >&2
        exit 1
    fi
    sed -e 's/^Types:[[:space:]]*deb[[:space:]]*$/Types: deb-src/' "$system_sources" >"$our_sources.tmp"
    mv "$our_sources.tmp" "$our_sources"
fi

# 2. Refresh the index only when apt does not know the source packages yet.
knows() { apt-cache showsrc "$1" 2>/dev/null | grep -q "^Package: $1\$"; }
if ! knows libvorbisidec || ! knows libogg; then
    apt-get update -qq
fi

# 3. Download the source archives. The packaging tarball of libvorbisidec may be
#    missing on the mirror: apt then reports an error, but the upstream tarball
#    (.orig.tar.*) is all we need, so the error is tolerated and the archives
#    are checked instead.
cd "$downloads"
have_orig() { ls "$downloads"/$1_*.orig.tar.* >/dev/null 2>&1; }
if ! have_orig libvorbisidec || ! have_orig libogg; then
    if ! apt-get source --download-only -qq libvorbisidec libogg; then
        echo "fetch-decoder-sources: apt reported an error; only the upstream tarballs are needed" >&2
    fi
fi
if ! have_orig libvorbisidec || ! have_orig libogg; then
    echo "fetch-decoder-sources: could not download the libvorbisidec and libogg sources" >&2
    exit 1
fi

# 4. Unpack the upstream trees (their single top folder stripped).
unpack() {
    name=$1
    dest=$2
    archive=$(ls "$downloads"/${name}_*.orig.tar.* | head -n 1)
    rm -rf "$dest.tmp"
    mkdir -p "$dest.tmp"
    tar -xf "$archive" -C "$dest.tmp" --strip-components=1
    rm -rf "$dest"
    mv "$dest.tmp" "$dest"
}
[ -f "$tremor/ivorbisfile.h" ] || unpack libvorbisidec "$tremor"
[ -f "$libogg/src/framing.c" ] || unpack libogg "$libogg"
