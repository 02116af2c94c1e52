#!/usr/bin/env bash
# Times listing every title set of a disc image and loading the default one
# against lsdvd listing the same image, and prints both medians and the ratio.
# The disc is make_bench_disc.sh's: 12 title sets, 1 to 3 PGCs each.
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

for tool in lsdvd hyperfine python3; do
    command -v "$tool" > /dev/null || { echo "missing: $tool" >&2; exit 1; }
done
"$root/bench/make_bench_disc.sh" "$work"
sets=12
image="$work/DISC.iso"

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
