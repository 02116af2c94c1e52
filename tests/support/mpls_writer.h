#pragma once

// Blu-ray playlists and BDMV folders for tests: what libbluray reads to
// list and open titles without a complaint (no stream files).

#include <cstdint>
#include <string>
#include <vector>

namespace pelvano::test {

struct MplsItem {
    std::string clip;
    uint32_t in = 0, out = 0;         // 45 kHz ticks
    std::vector<std::string> angles;  // the clips of angles 2, 3, ...
    uint8_t rate = 1;                 // frame-rate code of its H.264 1080p video
};

struct MplsMark {
    uint16_t item = 0;
    uint32_t time = 0;
    uint8_t type = 1;  // entry mark
};

// Each item also has an AC-3 5.1 "eng" stream, "deu" subtitles and a menu.
struct MplsSpec {
    std::vector<MplsItem> items;
    std::vector<MplsMark> marks;
    std::string version = "0200";
};

// <root>/BDMV: index.bdmv, MovieObject.bdmv, PLAYLIST/00001.mpls, ... and
// an empty CLIPINF/<clip>.clpi for each clip named.
void WriteBdmv(const std::string& root, const std::vector<MplsSpec>& playlists);
// The bytes of one playlist file.
std::string MplsBytes(const MplsSpec& spec);

// A film as discs hold one: 00001 is 01:50:15 at 23.976 fps in three play
// items with 18 chapters, each on the 45 kHz tick at or before its frame;
// 00002 plays the same items, 00003 is a 5 s logo, 00004 a trailer.
std::vector<MplsSpec> Film();

}  // namespace pelvano::test
