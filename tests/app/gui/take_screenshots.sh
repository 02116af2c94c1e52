#!/usr/bin/env bash
# Remakes the pictures of the main window and the About box under docs/ with the sample title
# set, of a two-title-set image (made here from tests/fixtures/dvd/two_sets) and of a Blu-ray
# film (the tests' playlist writer's, through build/bench/make_bluray), on a virtual X server
# at 96 dpi. Run by hand after a build:
#   tests/app/gui/take_screenshots.sh <build folder>
# Needs xvfb (xvfb-run), imagemagick (import) and genisoimage.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../../.." && pwd)
BUILD=$(cd "${1:?build folder}" && pwd)
cmake --build "$BUILD" --target pelvano_gui_screenshots make_bluray
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$WORK/disc/VIDEO_TS"
cp "$ROOT/tests/fixtures/dvd/two_sets/"*.IFO "$WORK/disc/VIDEO_TS/"
genisoimage -quiet -dvd-video -V FILM -o "$WORK/FILM.iso" "$WORK/disc"
"$BUILD/bench/make_bluray" "$WORK/FILM_BD" film
xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" \
    "$BUILD/tests/app/gui/pelvano_gui_screenshots" "$ROOT/docs" "$ROOT/examples/VTS_01_0.IFO" "$ROOT/resources" \
    "$WORK/FILM.iso" "$WORK/FILM_BD"
