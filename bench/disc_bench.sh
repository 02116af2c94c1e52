#!/usr/bin/env bash
# Times listing every title set of a disc image and loading the default one
# against lsdvd listing the same image, and prints both medians and the ratio.
# The image (12 title sets, 1 to 3 PGCs each, IFO files only) is authored
# here with ffmpeg and dvdauthor and packed with genisoimage.
#
#   bench/disc_bench.sh [BUILD_DIR] [RUNS]
#
# Default build folder: build; default runs: 50. Times `pelvano --list IMAGE`
# when that executable has the option, else build/bench/disc_list_bench IMAGE
# (the same core calls); says which.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath "${1:-$root/build}")"
runs="${2:-50}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

for tool in ffmpeg dvdauthor genisoimage lsdvd hyperfine python3; do
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
image="$work/DISC.iso"
genisoimage -quiet -dvd-video -o "$image" "$work/disc"

pelvano="$build/pelvano"
if [ -x "$pelvano" ] && "$pelvano" --list "$image" > /dev/null 2>&1; then
    lister="'$pelvano' --list"
else
    [ -x "$build/bench/disc_list_bench" ] || { echo "missing: $build/bench/disc_list_bench" >&2; exit 1; }
    lister="'$build/bench/disc_list_bench'"
fi

median_ms() {  # command -> median in ms
    local json="$work/h.json"
    hyperfine --style none --shell none --warmup 5 --runs "$runs" --export-json "$json" "$1" > /dev/null 2>&1
    python3 -c 'import json,sys; print("%.3f" % (json.load(open(sys.argv[1]))["results"][0]["median"] * 1000))' "$json"
}

echo "$sets title sets ($(stat -c %s "$image") bytes as an image); median of $runs runs (hyperfine)"
echo "ours: $lister SOURCE" | sed "s|$build/||g"
for source in "$image" "$work/disc"; do
    ours="$lister '$source'"
    theirs="lsdvd '$source'"
    # Both must work before their times mean anything.
    eval "$ours" > /dev/null || { echo "listing failed: $ours" >&2; exit 1; }
    titles=$(eval "$theirs" 2>/dev/null | grep -c '^Title:' || true)
    [ "$titles" -gt "$sets" ] || { echo "lsdvd lists $titles titles of $source" >&2; exit 1; }
    o=$(median_ms "$ours")
    l=$(median_ms "$theirs")
    kind=$([ -d "$source" ] && echo folder || echo image)
    awk -v k="$kind" -v o="$o" -v l="$l" \
        'BEGIN { printf "%-6s  ours %.3f ms  lsdvd %.3f ms  ratio %.2f (target: at most 1.00)\n", k, o, l, o / l }'
done
