#!/usr/bin/env bash
# Start time of the window: process start to window mapped, for a bare Qt 6
# Widgets window (bench/bare_window.cpp, one QWidget shown), for the same
# window holding one QLabel, and for Pelvano with the sample title set loaded
# from the command line. Prints the medians and their ratios to the bare
# window (target: Pelvano at most 1.25 times the bare one).
#
#   bench/start_bench.sh [BUILD_DIR] [RUNS]      # default: build, 15
#   PELVANO=other/build/pelvano bench/start_bench.sh   # another build's program
#
# Runs under Xvfb (through xvfb-run when there is no $DISPLAY). "Mapped" is
# the X server's MapNotify for the program's top-level window, caught by
# bench/map_timer.cpp, which starts the program itself: nothing is polled
# and neither program is changed for the measurement. The two programs take
# turns, run after run, so that a busy machine weighs on both alike; run as
# root (and unless BENCH_RT=0), the server and both programs run with a
# real-time priority (chrt -f), so that other jobs on the machine do not
# make the figures jump.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath "${1:-$root/build}")"
runs="${2:-15}"
ifo="$root/examples/VTS_01_0.IFO"

for f in "$build/bench/map_timer" "$build/bench/bare_window" "${PELVANO:-$build/pelvano}"; do
    [ -x "$f" ] || { echo "missing: $f (build the tests with the window and libx11-dev)" >&2; exit 1; }
done
rt=()
if [ "$(id -u)" = 0 ] && [ "${BENCH_RT:-1}" != 0 ] && command -v chrt > /dev/null; then
    rt=(chrt -f 20)
fi
if [ -z "${DISPLAY:-}" ]; then
    command -v xvfb-run > /dev/null || { echo "missing: xvfb-run (package xvfb)" >&2; exit 1; }
    # -noreset: the server must not reset between runs, when its last client goes.
    exec "${rt[@]}" xvfb-run -a -s "-screen 0 1024x768x24 -noreset" "$0" "$build" "$runs"
fi
export QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"

bare=("${rt[@]}" "$build/bench/map_timer" "bare window" "$build/bench/bare_window")
labelled=("${bare[@]}" --label)
pelvano=("${rt[@]}" "$build/bench/map_timer" "Pelvano" "${PELVANO:-$build/pelvano}" "$ifo")

# Both must work before their times mean anything; these runs also fill
# the page cache.
for i in 1 2 3; do
    "${bare[@]}" > /dev/null || { echo "the bare window did not appear" >&2; exit 1; }
    "${labelled[@]}" > /dev/null || { echo "the labelled window did not appear" >&2; exit 1; }
    "${pelvano[@]}" > /dev/null || { echo "Pelvano's window did not appear" >&2; exit 1; }
done

bare_times=()
labelled_times=()
pelvano_times=()
for ((i = 0; i < runs; i++)); do
    bare_times+=("$("${bare[@]}")")
    labelled_times+=("$("${labelled[@]}")")
    pelvano_times+=("$("${pelvano[@]}")")
done

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
bare_ms=$(median "${bare_times[@]}")
labelled_ms=$(median "${labelled_times[@]}")
pelvano_ms=$(median "${pelvano_times[@]}")
echo "Start to window mapped, median of $runs runs under Xvfb:"
ratio() { awk -v t="$1" -v b="$bare_ms" 'BEGIN { printf "%.2f", t / b }'; }
printf '  %-34s %s ms\n' "bare Qt 6 Widgets window:" "$bare_ms"
printf '  %-34s %s ms  (ratio %s)\n' "the same with one QLabel:" "$labelled_ms" "$(ratio "$labelled_ms")"
printf '  %-34s %s ms  (ratio %s; target at most 1.25)\n' "Pelvano with $(basename "$ifo"):" "$pelvano_ms" \
    "$(ratio "$pelvano_ms")"
