#!/usr/bin/env bash
# The longest single step on the window's thread (bench/window_steps.cpp)
# over every fixture title set, folder and image, and the disc that
# disc_bench.sh lists, under a virtual X server.
#
#   bench/window_bench.sh [BUILD_DIR]
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath "${1:-$root/build}")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cmake --build "$build" --target window_steps > /dev/null

sources=("$root/examples/VTS_01_0.IFO")
for fixture in "$root"/tests/fixtures/dvd/*/; do
    name=$(basename "$fixture")
    mkdir -p "$work/$name/VIDEO_TS"
    cp "$fixture"*.IFO "$work/$name/VIDEO_TS/"
    genisoimage -quiet -dvd-video -o "$work/$name.iso" "$work/$name"
    sources+=("$fixture"VTS_01_0.IFO "$work/$name" "$work/$name.iso")
done
"$root/bench/make_bench_disc.sh" "$work/bench"
sources+=("$work/bench/disc" "$work/bench/DISC.iso")
xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bench/window_steps" "${sources[@]}" | sed "s|$work/||; s|$root/||"
