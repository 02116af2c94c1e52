#pragma once

// Blu-ray playlists and BDMV folders for tests: the files libbluray reads to
// list and open titles without complaint, and no stream files.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace pelvano::test {

struct MplsItem {
    std::string clip;
    uint32_t in = 0, out = 0;         // 45 kHz ticks
    std::vector<std::string> angles;  // the clips of angles 2, 3, ...
    uint8_t rate = 1;                 // frame-rate code of its 1080p H.264 video
};

struct MplsMark {
    uint16_t item = 0;
    uint32_t time = 0;
    uint8_t type = 1;  // entry mark
};

// Every item also has an English AC-3 5.1 stream, German subtitles and a
// French menu stream.
struct MplsSpec {
    std::vector<MplsItem> items;
    std::vector<MplsMark> marks;
    std::string version = "0200";
};

std::string MplsBytes(const MplsSpec& spec);

// <root>/BDMV: index.bdmv, MovieObject.bdmv, PLAYLIST/<number>.mpls and an
// empty CLIPINF/<clip>.clpi for each clip named.
void WriteBdmv(const std::string& root, const std::map<int, MplsSpec>& playlists);

}  // namespace pelvano::test
