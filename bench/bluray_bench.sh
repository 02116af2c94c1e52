#!/usr/bin/env bash
# Times listing every playlist of a Blu-ray disc and loading the default one
# (build/bench/disc_list_bench: Source::Open and LoadPlaylist, the calls of
# the window and the command line) against libbluray doing the same
# (build/bench/bluray_titles_bench: bd_get_titles over every playlist, then
# bd_get_title_info of its main title), on a BDMV folder of 100 playlists
# that the tests' playlist writer makes (build/bench/make_bluray) and on an
# image of it (genisoimage -udf). Prints both medians and the ratio.
#
#   bench/bluray_bench.sh [BUILD_DIR] [RUNS]     # default: build, 50
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath "${1:-$root/build}")"
runs="${2:-50}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

for tool in hyperfine genisoimage python3; do
    command -v "$tool" > /dev/null || { echo "missing: $tool" >&2; exit 1; }
done
for program in make_bluray disc_list_bench bluray_titles_bench; do
    [ -x "$build/bench/$program" ] || { echo "missing: $build/bench/$program" >&2; exit 1; }
done
"$build/bench/make_bluray" "$work/disc" 100
genisoimage -quiet -udf -o "$work/disc.iso" "$work/disc"

median_ms() {  # command -> median in ms
    local json="$work/h.json"
    hyperfine --style none --shell none --warmup 5 --runs "$runs" --export-json "$json" "$1" > /dev/null 2>&1
    python3 -c 'import json,sys; print("%.3f" % (json.load(open(sys.argv[1]))["results"][0]["median"] * 1000))' "$json"
}

echo "100 playlists ($(du -sb "$work/disc/BDMV/PLAYLIST" | cut -f1) bytes of them); median of $runs runs (hyperfine)"
for source in "$work/disc" "$work/disc.iso"; do
    ours="$build/bench/disc_list_bench $source"
    theirs="$build/bench/bluray_titles_bench $source"
    # Both must work, and agree, before their times mean anything.
    o=$($ours) || { echo "failed: $ours" >&2; exit 1; }
    t=$($theirs) || { echo "failed: $theirs" >&2; exit 1; }
    [ "${o%,*}" = "${t%,*}" ] || { echo "they differ: '$o' / '$t'" >&2; exit 1; }
    om=$(median_ms "$ours")
    tm=$(median_ms "$theirs")
    kind=$([ -d "$source" ] && echo folder || echo image)
    awk -v k="$kind" -v o="$om" -v l="$tm" \
        'BEGIN { printf "%-6s  ours %.3f ms  libbluray %.3f ms  ratio %.2f (target: below 1.00)\n", k, o, l, o / l }'
done
