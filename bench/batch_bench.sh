#!/usr/bin/env bash
# Times whole runs of pelvano on the sample title set (the three-argument
# form, and the option form into a file and to standard output) against
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
stdout_cmd="'$pelvano' -p1 '$ifo'"
dvdxchap_cmd="dvdxchap -t 1 '$examples'"

# The three commands take turns (ten rounds of hyperfine over all three, or
# one run of each per loop turn), so that the load of a shared machine
# drifting during the measurement weighs on all three alike.
medians_hyperfine() {  # commands... -> the median of each in ms, one line
    local rounds=10 r
    local per=$(((runs + rounds - 1) / rounds))
    for ((r = 0; r < rounds; r++)); do
        hyperfine --style none --shell none --warmup 2 --runs "$per" \
            --export-json "$work/h$r.json" "$@" > /dev/null 2>&1
    done
    python3 -c '
import json, statistics, sys
work, rounds = sys.argv[1], int(sys.argv[2])
times = None
for r in range(rounds):
    results = json.load(open("%s/h%d.json" % (work, r)))["results"]
    times = times or [[] for _ in results]
    for i, result in enumerate(results):
        times[i] += result["times"]
print(" ".join("%.3f" % (statistics.median(t) * 1000) for t in times))' "$work" "$rounds"
}

medians_loop() {  # commands... -> the median of each in ms, one line
    local i k start
    local -a times
    for ((i = 0; i < 3; i++)); do for c in "$@"; do eval "$c" > /dev/null 2>&1; done; done
    for ((i = 0; i < runs; i++)); do
        k=0
        for c in "$@"; do
            start=$EPOCHREALTIME
            eval "$c" > /dev/null 2>&1
            times+=("$k $(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.6f", b - a }')")
            k=$((k + 1))
        done
    done
    printf '%s\n' "${times[@]}" | sort -k1,1n -k2,2g | awk -v n=$# '
        { t[$1, ++c[$1]] = $2 }
        END {
            for (k = 0; k < n; k++) {
                m = c[k]; v = (m % 2) ? t[k, (m + 1) / 2] : (t[k, m / 2] + t[k, m / 2 + 1]) / 2
                printf "%s%.3f", (k ? " " : ""), v * 1000
            }
            print ""
        }'
}

if [ -z "${BENCH_LOOP:-}" ] && command -v hyperfine > /dev/null && command -v python3 > /dev/null; then
    how=hyperfine
    read -r p o s d < <(medians_hyperfine "$pelvano_cmd" "$option_cmd" "$stdout_cmd" "$dvdxchap_cmd")
else
    how="shell loop"
    read -r p o s d < <(medians_loop "$pelvano_cmd" "$option_cmd" "$stdout_cmd" "$dvdxchap_cmd")
fi

echo "median of $runs runs ($how)"
echo "pelvano IFO OUT -p1: $p ms"
echo "pelvano -p1 -o OUT IFO: $o ms"
echo "pelvano -p1 IFO (standard output): $s ms"
echo "dvdxchap -t 1 (standard output): $d ms"
awk -v p="$p" -v o="$o" -v s="$s" -v d="$d" 'BEGIN {
    printf "ratio pelvano/dvdxchap: %.2f (target: at most 1.50)\n", p / d
    printf "ratio option form -o/three-argument form: %.2f (target: at most 1.00)\n", o / p
    printf "ratio option form to standard output/dvdxchap: %.2f (target: at most 1.00)\n", s / d }'
