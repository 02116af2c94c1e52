#!/bin/sh
# make_test_video.sh DIR NAME: makes the test video DIR/NAME with ffmpeg and
# x264 unless it is there already. Written under a temporary name and moved
# into place, so that test processes running side by side never see half a
# file. Key frames: every 50 frames (-g, -keyint_min, no scene cuts) and
# forced at frames 37, 101 and 173, so that the distances are uneven.
set -eu
dir=$1
name=$2
[ -s "$dir/$name" ] && exit 0
mkdir -p "$dir"
tmp=$(mktemp "$dir/.making.XXXXXX")
trap 'rm -f "$tmp"' EXIT

encode() {
    rate=$1
    shift
    ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i "testsrc=size=32x32:rate=$rate:duration=12" \
        -c:v libx264 -preset ultrafast -g 50 -keyint_min 50 -sc_threshold 0 \
        -force_key_frames 'expr:eq(n,37)+eq(n,101)+eq(n,173)' "$@"
}
# Shifting every frame from the tenth on by half a frame: not evenly spaced.
vfr="-vf settb=1/1000,setpts=(N+gte(N\,10)*0.5)/25/TB -fps_mode passthrough -enc_time_base 1/1000"

case $name in
    cues.mkv) encode 30000/1001 -bf 2 -f matroska "$tmp" ;;
    # Written as a live stream, a Matroska file has no Cues.
    nocues.mkv) encode 30000/1001 -bf 2 -live 1 -f matroska "$tmp" ;;
    bframes.mp4) encode 25 -bf 3 -f mp4 "$tmp" ;;
    # Open GOPs: frames after a key frame in the file are shown before it.
    opengop.mov) encode 24000/1001 -bf 3 -x264-params open-gop=1 -f mov "$tmp" ;;
    # shellcheck disable=SC2086
    vfr.mp4) encode 25 -bf 0 $vfr -f mp4 "$tmp" ;;
    # shellcheck disable=SC2086
    vfr.mkv) encode 25 -bf 0 $vfr -f matroska "$tmp" ;;
    # 25 fps for 12 s, then 50 fps; every key frame (one each 50 frames) on the 25 fps grid.
    ratechange.mkv) ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i testsrc=size=32x32:rate=50:duration=16 \
        -vf "select='gte(t,12)+not(mod(n,2))'" -fps_mode passthrough -c:v libx264 -preset ultrafast -g 50 -sc_threshold 0 -f matroska "$tmp" ;;
    audio.mkv | audio.mp4)
        ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i sine=duration=1 -c:a aac \
            -f "$([ "$name" = audio.mkv ] && echo matroska || echo mp4)" "$tmp" ;;
    *) echo "make_test_video.sh: no recipe for $name" >&2; exit 2 ;;
esac
mv "$tmp" "$dir/$name"
trap - EXIT
