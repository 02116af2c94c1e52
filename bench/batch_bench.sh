#!/usr/bin/env bash
# Times a whole batch run of pelvano on the sample title set (the
# three-argument form and the option form to standard output) against
# dvdxchap reading the same title set, and prints the medians and ratios.
#
#   bench/batch_bench.sh [PELVANO_EXECUTABLE] [RUNS]
#
# Default executable: build/pelvano; default runs: 30. Uses hyperfine when it
# is installed (and BENCH_LOOP is unset), else a plain loop over date +%s%N.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
pelvano="$(realpath "${1:-$root/build/pelvano}")"
runs="${2:-30}"
examples="$root/examples"
ifo="$examples/VTS_01_0.IFO"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
out="$work/out.txt"

for tool in "$pelvano" dvdxchap; do
    command -v "$tool" > /dev/null || { echo "missing: $tool" >&2; exit 1; }
done
[ -f "$ifo" ] || { echo "missing: $ifo" >&2; exit 1; }

# Both must work before their times mean anything. The batch run gets the
# absolute paths: relative ones resolve against the executable's folder.
"$pelvano" "$ifo" "$out" -p1 || { echo "pelvano batch run failed" >&2; exit 1; }
[ -s "$out" ] || { echo "pelvano wrote nothing to $out" >&2; exit 1; }
dvdxchap -t 1 "$examples" > /dev/null 2>&1 || { echo "dvdxchap failed" >&2; exit 1; }
"$pelvano" -p1 "$ifo" | cmp -s - "$out" || { echo "pelvano -p1 IFO differs from the batch run" >&2; exit 1; }

pelvano_cmd="'$pelvano' '$ifo' '$out' -p1"
option_cmd="'$pelvano' -p1 -o '$out' '$ifo'"
dvdxchap_cmd="dvdxchap -t 1 '$examples'"

median_ms_hyperfine() {  # command -> median in ms
    local json="$work/h.json"
    hyperfine --style none --shell none --warmup 3 --runs "$runs" \
        --export-json "$json" "$1" > /dev/null 2>&1
    python3 -c 'import json,sys; print("%.3f" % (json.load(open(sys.argv[1]))["results"][0]["median"] * 1000))' "$json"
}

median_ms_loop() {  # command -> median in ms
    local times=() i start end
    for i in 1 2 3; do eval "$1" > /dev/null 2>&1; done
    for ((i = 0; i < runs; i++)); do
        start=$(date +%s%N)
        eval "$1" > /dev/null 2>&1
        end=$(date +%s%N)
        times+=($((end - start)))
    done
    printf '%s\n' "${times[@]}" | sort -n | awk '
        { t[NR] = $1 }
        END { m = (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2; printf "%.3f\n", m / 1e6 }'
}

if [ -z "${BENCH_LOOP:-}" ] && command -v hyperfine > /dev/null && command -v python3 > /dev/null; then
    how=hyperfine
    p=$(median_ms_hyperfine "$pelvano_cmd")
    o=$(median_ms_hyperfine "$option_cmd")
    d=$(median_ms_hyperfine "$dvdxchap_cmd")
else
    how="shell loop"
    p=$(median_ms_loop "$pelvano_cmd")
    o=$(median_ms_loop "$option_cmd")
    d=$(median_ms_loop "$dvdxchap_cmd")
fi

echo "median of $runs runs ($how)"
echo "pelvano IFO OUT -p1: $p ms"
echo "pelvano -p1 -o OUT IFO: $o ms"
echo "dvdxchap -t 1: $d ms"
awk -v p="$p" -v d="$d" 'BEGIN { r = p / d; printf "ratio pelvano/dvdxchap: %.2f (target: at most 1.50)\n", r }'
awk -v o="$o" -v p="$p" -v d="$d" 'BEGIN {
    printf "ratio option form/three-argument form: %.2f (target: at most 1.00)\n", o / p
    printf "ratio option form/dvdxchap: %.2f (target: at most 1.00)\n", o / d }'
