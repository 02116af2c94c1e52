#!/usr/bin/env bash
# Authors the sample title set: a small PAL DVD-Video title set made with
# ffmpeg, spumux and dvdauthor. Run by hand; only the IFO/BUP files and the
# reference outputs of lsdvd, dvdxchap and dump_ifo land in this folder.
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
t() { cell_time "$std" "$1"; }

# Frame numbers of the cuts; 25 frames per second.
encode_vob "$w/a.mpg" pal 720x576 16:9 1000 "262 500 750" navy "ac3 ac3" 1
encode_vob "$w/b.mpg" pal 720x576 16:9 1250 "188 512 830" darkgreen "ac3 ac3" 1
encode_vob "$w/c.mpg" pal 720x576 16:9 1125 "25 750" maroon "ac3 ac3" 1

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
          <cell start="0" end="$(t 262)" chapter="1"/>
          <cell start="$(t 262)" end="$(t 500)" chapter="0"/>
          <cell start="$(t 500)" end="$(t 750)" chapter="1"/>
          <cell start="$(t 750)" chapter="0"/>
        </vob>
      </pgc>
      <pgc>
        <vob file="$w/b.mpg">
          <cell start="0" end="$(t 188)" chapter="1"/>
          <cell start="$(t 188)" end="$(t 512)" chapter="0"/>
          <cell start="$(t 512)" end="$(t 830)" chapter="1"/>
          <cell start="$(t 830)" chapter="0"/>
        </vob>
        <vob file="$w/c.mpg">
          <cell start="0" end="$(t 25)" chapter="0"/>
          <cell start="$(t 25)" end="$(t 750)" chapter="1"/>
          <cell start="$(t 750)" chapter="1"/>
        </vob>
      </pgc>
    </titles>
  </titleset>
</dvdauthor>
EOF
author "$name" "$std" "$w/dvdauthor.xml"
record "$name" "$HERE" 2
grep -E '^(INFO|CHAPTERS|WARN|ERR)' "$w/dvdauthor.log" | grep -v 'unknown mpeg2 aspect' || true
echo "sample written to $HERE"
