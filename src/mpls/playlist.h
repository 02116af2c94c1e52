#pragma once

// A Blu-ray movie playlist (BDMV/PLAYLIST/nnnnn.mpls): its play items, its
// marks and the stream table of each item, as far as chapters, listings and
// the report need them. Times are the playlist's own 45 kHz ticks.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pelvano {

inline constexpr uint32_t kPlaylistTicksPerSecond = 45000;
// Far more than any playlist needs (999 play items with full stream tables).
inline constexpr size_t kMaxPlaylistSize = 2u << 20;

// One angle of a play item: the clip it plays.
struct PlaylistClip {
    std::string name;   // five digits: BDMV/CLIPINF/<name>.clpi, BDMV/STREAM/<name>.m2ts
    std::string codec;  // "M2TS" ("FMTS" on a few discs), as stored
};

// Codes as the stream table holds them.
struct PlaylistVideo {
    uint8_t coding = 0;  // 0x01/0x02 MPEG-1/2, 0x1B H.264, 0x20 MVC, 0x24 HEVC, 0xEA VC-1
    uint8_t format = 0;  // 1 480i, 2 576i, 3 480p, 4 1080i, 5 720p, 6 1080p, 7 576p, 8 2160p
    uint8_t rate = 0;    // 1 24000/1001, 2 24, 3 25, 4 30000/1001, 6 50, 7 60000/1001
};

struct PlaylistAudio {
    uint8_t coding = 0;      // 0x80 LPCM, 0x81 AC-3, 0x82 DTS, 0x83 TrueHD, 0x84 E-AC-3, 0x85 DTS-HD,
                             // 0x86 DTS-HD MA, 0xA1/0xA2 secondary E-AC-3/DTS-HD
    uint8_t format = 0;      // channel layout: 1 mono, 3 stereo, 6 multi-channel, 12 stereo and multi
    uint8_t sampleRate = 0;  // 1 48 kHz, 4 96 kHz, 5 192 kHz, 12 192/48 kHz, 14 96/48 kHz
    std::string language;    // ISO 639-2, three bytes as stored
};

// Presentation graphics (0x90) or text subtitles (0x92).
struct PlaylistSubtitle {
    uint8_t coding = 0;
    std::string language;
};

struct PlaylistStreams {
    std::vector<PlaylistVideo> video;  // primary video
    std::vector<PlaylistAudio> audio;  // primary audio
    std::vector<PlaylistSubtitle> subtitles;
};

struct PlayItem {
    std::vector<PlaylistClip> angles;  // angle 1 first; never empty
    uint32_t inTime = 0;
    uint32_t outTime = 0;    // never before inTime
    uint8_t connection = 0;  // 1, 5 or 6 on real discs
    PlaylistStreams streams;

    uint32_t length() const { return outTime - inTime; }
};

struct PlaylistMark {
    static constexpr uint8_t kEntry = 1;  // a chapter start; 2 is a link point

    uint8_t type = 0;
    uint16_t playItem = 0;  // index into Playlist::items, always valid
    uint32_t time = 0;      // on its play item's clip, within its in- and out-time
};

struct Playlist {
    std::string version;  // "0100", "0200" or "0300"
    std::vector<PlayItem> items;
    std::vector<PlaylistMark> marks;
};

// Parses the bytes of a playlist file. Every read stays inside the section
// that holds it; anything that does not fit (a count or length pointing
// outside the file, a mark naming a missing play item, an out-time before
// its in-time, play items adding up past 32 bits of ticks, an unknown
// version) throws Error with one line saying what. Sub-paths and extension
// data are not read.
Playlist ParsePlaylist(std::string_view bytes);

}  // namespace pelvano
