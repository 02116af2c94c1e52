#pragma once

// A parsed playlist on its own timeline: its play items (angle 1) played in
// order, each from its in-time to its out-time.

#include <cstdint>
#include <optional>
#include <vector>

#include "mpls/playlist.h"

namespace pelvano {

// The sum of the play items' lengths, in ticks (ParsePlaylist has checked
// that it fits).
uint32_t PlaylistLength(const Playlist& playlist);

// Ticks to milliseconds rounded up: a chapter never starts before its first
// frame.
uint32_t PlaylistTicksToMs(uint64_t ticks);

// Each entry mark's time on the timeline, in ticks, in the playlist's order:
// the lengths of the play items before its own, plus its distance from its
// own item's in-time.
std::vector<uint32_t> EntryMarkTicks(const Playlist& playlist);

// The chapter starts in milliseconds: the entry marks' times rounded up,
// ascending, each time once.
std::vector<uint32_t> ChapterStartsMs(const Playlist& playlist);

// A stretch of the timeline from one chapter start to the next, or to the
// end: a row of the Customize page.
struct PlaylistSegment {
    uint32_t start = 0;  // ticks
    uint32_t length = 0;
    uint16_t playItem = 0;  // the play item of the mark that starts it
    int mark = -1;          // index into Playlist::marks; -1 for a first segment no mark starts
};

// The segments between the chapter starts of ChapterStartsMs (each from the
// earliest of the marks rounding to it), and a first one from 0 when no
// mark is there. A mark at the very end starts nothing.
std::vector<PlaylistSegment> PlaylistSegments(const Playlist& playlist);

struct PlaylistFrameRate {
    uint32_t numerator = 0;
    uint32_t denominator = 1;
    const char* text = "";  // as the frame-rate box shows it: "23976", "25000", ...
};

// The exact rate of the first play item's first primary video stream;
// nothing when there is none or its rate code is none of the six.
std::optional<PlaylistFrameRate> PlaylistVideoRate(const Playlist& playlist);

}  // namespace pelvano
