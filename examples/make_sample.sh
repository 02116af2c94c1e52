#!/usr/bin/env bash
# Authors the sample title set: a small PAL DVD-Video title set made with
# ffmpeg, spumux and dvdauthor. Run by hand; only the IFO/BUP files, the
# dvdauthor XML and the reference outputs of lsdvd, dvdxchap and dump_ifo
# land in this folder.
#
#   title 1 = PGC 0: 40 s, one VOB, 4 cells, 2 chapters of 2 cells each
#   title 2 = PGC 1: 95 s, two VOBs, 7 cells, 4 chapters (the longest PGC)
#   audio: AC-3 English, AC-3 French; one English subtitle stream
#   video: MPEG-2 720x576 16:9, 25 fps
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
AUTHOR_DIR=$HERE/../tests/fixtures/dvd
# shellcheck source=../tests/fixtures/dvd/authoring.sh
. "$AUTHOR_DIR/authoring.sh"
author_init

name=sample
std=pal
w=$AUTHOR_TMP/$name
mkdir -p "$w"

# Cuts in frames (25 per second), then the chapter flag of each cell.
b1="0 262 500 750 1000" c1="1 0 1 0"
b2="0 188 512 830 1250" c2="1 0 1 0"
b3="0 25 750 1125" c3="0 1 1"
encode_vob "$w/a.mpg" pal 720x576 16:9 "$(last "$b1")" "$(inner "$b1")" navy "ac3 ac3" 1
encode_vob "$w/b.mpg" pal 720x576 16:9 "$(last "$b2")" "$(inner "$b2")" darkgreen "ac3 ac3" 1
encode_vob "$w/c.mpg" pal 720x576 16:9 "$(last "$b3")" "$(inner "$b3")" maroon "ac3 ac3" 1

cat >"$w/dvdauthor.xml" <<EOF
<dvdauthor dest="$w/dvd">
  <titleset>
    <titles>
      <video format="pal" aspect="16:9"/>
      <audio lang="en"/>
      <audio lang="fr"/>
      <subpicture lang="en"/>
      <pgc>
        <vob file="$w/a.mpg">
$(cells "$std" "$b1" "$c1")
        </vob>
      </pgc>
      <pgc>
        <vob file="$w/b.mpg">
$(cells "$std" "$b2" "$c2")
        </vob>
        <vob file="$w/c.mpg">
$(cells "$std" "$b3" "$c3")
        </vob>
      </pgc>
    </titles>
  </titleset>
</dvdauthor>
EOF
author "$name" "$std" "$w/dvdauthor.xml"
record "$name" "$HERE" 2
expect_cells "$name" "$HERE" "$(lens "$b1")" "$(lens "$b2") $(lens "$b3")"
sed "s|$w/||g" "$w/dvdauthor.xml" >"$HERE/dvdauthor.xml"
grep -E '^(CHAPTERS|WARN|ERR)|Resolution|Aspect|TV standard' "$w/dvdauthor.log" \
    | grep -v 'unknown mpeg2 aspect' || true
echo "sample written to $HERE"
