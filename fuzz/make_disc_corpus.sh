#!/usr/bin/env bash
# Makes the seed corpus of disc_fuzzer (fuzz/corpus/disc) from the fixture
# title sets: an ISO image of each (IFO files only, genisoimage -dvd-video)
# in the sparse form the target reads, and one whose VIDEO_TS.IFO names 99
# title sets of which one is there; and Blu-ray images (genisoimage -udf)
# of BDMV folders the tests' playlist writer makes (build/bench/make_bluray,
# or $MAKE_BLURAY). Run by hand:
#   fuzz/make_disc_corpus.sh [dvd|bluray]    (default: both)
set -euo pipefail
what=${1:-both}
here=$(cd "$(dirname "$0")" && pwd)
src=$(dirname "$here")
out=$here/corpus/disc
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

# Records (offset u32 BE, length u16 BE, bytes) of the non-zero runs; gaps
# of fewer than 16 zero bytes stay inside a run; a last empty record marks
# the image's length.
sparse() {
    python3 - "$1" "$2" <<'PY'
import struct, sys
d = open(sys.argv[1], 'rb').read()
out, i, n = bytearray(), 0, len(d)
while i < n:
    while i < n and d[i] == 0:
        i += 1
    if i >= n:
        break
    j, k, zeros = i, i, 0
    while k < n:
        zeros = zeros + 1 if d[k] == 0 else 0
        if zeros >= 16:
            break
        if d[k]:
            j = k + 1
        k += 1
    while i < j:
        m = min(j - i, 65535)
        out += struct.pack('>IH', i, m) + d[i:i + m]
        i += m
out += struct.pack('>IH', n, 0)
open(sys.argv[2], 'wb').write(out)
PY
}

if [ "$what" != dvd ]; then
    maker=${MAKE_BLURAY:-$src/build/bench/make_bluray}
    for disc in film 6; do
        "$maker" "$work/bd_$disc" "$disc"
        genisoimage -quiet -udf -o "$work/bd_$disc.iso" "$work/bd_$disc"
        sparse "$work/bd_$disc.iso" "$out/bluray_$disc"
    done
fi
[ "$what" != bluray ] || { ls -l "$out"; exit 0; }

for f in examples tests/fixtures/dvd/ntsc tests/fixtures/dvd/one_chapter tests/fixtures/dvd/two_sets; do
    name=$(basename "$f")
    mkdir -p "$work/$name/VIDEO_TS"
    cp "$src/$f/"*.IFO "$work/$name/VIDEO_TS/"
    genisoimage -quiet -dvd-video -o "$work/$name.iso" "$work/$name"
    sparse "$work/$name.iso" "$out/$name"
done

mkdir -p "$work/ghost/VIDEO_TS"
cp "$src/tests/fixtures/dvd/one_chapter/VTS_01_0.IFO" "$work/ghost/VIDEO_TS/"
python3 -c "
import sys
d = bytearray(open(sys.argv[1], 'rb').read()); d[0x3E:0x40] = b'\x00\x63'
open(sys.argv[2], 'wb').write(d)" "$src/tests/fixtures/dvd/one_chapter/VIDEO_TS.IFO" "$work/ghost/VIDEO_TS/VIDEO_TS.IFO"
genisoimage -quiet -udf -o "$work/ghost.iso" "$work/ghost"
sparse "$work/ghost.iso" "$out/99_title_sets_named_one_there"
ls -l "$out"
