#!/usr/bin/env bash
# The benchmarks' disc: 12 title sets of 1 to 3 PGCs each, IFO files only,
# authored with ffmpeg and dvdauthor as DIR/disc/VIDEO_TS and packed with
# genisoimage as DIR/DISC.iso.
#
#   bench/make_bench_disc.sh DIR
set -euo pipefail

work="${1:?folder}"
mkdir -p "$work"
for tool in ffmpeg dvdauthor genisoimage; do
    command -v "$tool" > /dev/null || { echo "missing: $tool" >&2; exit 1; }
done

# One short PAL video, cut into cells at 2 s and 4 s; every title set uses it.
ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i "color=c=navy:s=352x288:r=25" \
    -f lavfi -i "anullsrc=r=48000:cl=stereo" -frames:v 150 -t 6 -c:v mpeg2video -bf 0 -g 12 \
    -force_key_frames "0,2,4" -b:v 300k -c:a mp2 -b:a 128k -aspect 4:3 -f dvd "$work/a.mpg"
sets=12
{
    echo "<dvdauthor dest=\"$work/dvd\">"
    for ((t = 1; t <= sets; t++)); do
        echo "  <titleset><titles><video format=\"pal\" aspect=\"4:3\"/><audio lang=\"en\"/>"
        for ((p = 0; p <= t % 3; p++)); do
            echo "    <pgc><vob file=\"$work/a.mpg\"><cell start=\"0\" end=\"2.01\" chapter=\"1\"/>"
            echo "      <cell start=\"2.01\" end=\"4.01\" chapter=\"1\"/><cell start=\"4.01\" chapter=\"$((p % 2))\"/></vob></pgc>"
        done
        echo "  </titles></titleset>"
    done
    echo "</dvdauthor>"
} > "$work/dvdauthor.xml"
dvdauthor -x "$work/dvdauthor.xml" > "$work/dvdauthor.log" 2>&1 || { cat "$work/dvdauthor.log" >&2; exit 1; }
VIDEO_FORMAT=PAL dvdauthor -o "$work/dvd" -T >> "$work/dvdauthor.log" 2>&1
mkdir -p "$work/disc/VIDEO_TS"
cp "$work/dvd/VIDEO_TS/"*.IFO "$work/disc/VIDEO_TS/"
genisoimage -quiet -dvd-video -o "$work/DISC.iso" "$work/disc"
