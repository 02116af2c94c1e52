#include "mpls/playlist_timeline.h"

#include <algorithm>

namespace pelvano {

uint32_t PlaylistLength(const Playlist& playlist)
{
    uint64_t total = 0;
    for (const PlayItem& item : playlist.items)
        total += item.length();
    return static_cast<uint32_t>(total);
}

uint32_t PlaylistTicksToMs(uint64_t ticks)
{
    constexpr uint64_t kTicksPerMs = kPlaylistTicksPerSecond / 1000;
    return static_cast<uint32_t>((ticks + kTicksPerMs - 1) / kTicksPerMs);
}

namespace {

struct TimedMark {
    uint32_t ticks;
    int index;  // into Playlist::marks
};

// The entry marks on the timeline, in the playlist's order.
std::vector<TimedMark> EntryMarks(const Playlist& playlist)
{
    std::vector<uint32_t> itemStarts;
    itemStarts.reserve(playlist.items.size());
    uint32_t start = 0;
    for (const PlayItem& item : playlist.items) {
        itemStarts.push_back(start);
        start += item.length();
    }
    std::vector<TimedMark> marks;
    for (size_t i = 0; i < playlist.marks.size(); ++i) {
        const PlaylistMark& mark = playlist.marks[i];
        if (mark.type == PlaylistMark::kEntry)
            marks.push_back({itemStarts[mark.playItem] + (mark.time - playlist.items[mark.playItem].inTime),
                             static_cast<int>(i)});
    }
    return marks;
}

// Ascending, the earliest of the marks that round up to one millisecond.
std::vector<TimedMark> ChapterMarks(const Playlist& playlist)
{
    std::vector<TimedMark> marks = EntryMarks(playlist);
    std::stable_sort(marks.begin(), marks.end(),
                     [](const TimedMark& a, const TimedMark& b) { return a.ticks < b.ticks; });
    marks.erase(std::unique(marks.begin(), marks.end(),
                            [](const TimedMark& a, const TimedMark& b) {
                                return PlaylistTicksToMs(a.ticks) == PlaylistTicksToMs(b.ticks);
                            }),
                marks.end());
    return marks;
}

}  // namespace

std::vector<uint32_t> EntryMarkTicks(const Playlist& playlist)
{
    std::vector<uint32_t> ticks;
    for (const TimedMark& mark : EntryMarks(playlist))
        ticks.push_back(mark.ticks);
    return ticks;
}

std::vector<uint32_t> ChapterStartsMs(const Playlist& playlist)
{
    std::vector<uint32_t> starts;
    for (const TimedMark& mark : ChapterMarks(playlist))
        starts.push_back(PlaylistTicksToMs(mark.ticks));
    return starts;
}

std::vector<PlaylistSegment> PlaylistSegments(const Playlist& playlist)
{
    const uint32_t end = PlaylistLength(playlist);
    std::vector<PlaylistSegment> segments;
    for (const TimedMark& mark : ChapterMarks(playlist)) {
        if (mark.ticks >= end)
            break;
        if (segments.empty() && mark.ticks > 0)
            segments.push_back({0, 0, 0, -1});
        segments.push_back(
            {mark.ticks, 0, playlist.marks[static_cast<size_t>(mark.index)].playItem, mark.index});
    }
    if (segments.empty() && end > 0)
        segments.push_back({0, 0, 0, -1});
    for (size_t i = 0; i < segments.size(); ++i)
        segments[i].length = (i + 1 < segments.size() ? segments[i + 1].start : end) - segments[i].start;
    return segments;
}

std::optional<PlaylistFrameRate> PlaylistVideoRate(const Playlist& playlist)
{
    if (playlist.items.empty() || playlist.items[0].streams.video.empty())
        return std::nullopt;
    switch (playlist.items[0].streams.video[0].rate) {
    case 1:
        return PlaylistFrameRate{24000, 1001, "23976"};
    case 2:
        return PlaylistFrameRate{24, 1, "24000"};
    case 3:
        return PlaylistFrameRate{25, 1, "25000"};
    case 4:
        return PlaylistFrameRate{30000, 1001, "29970"};
    case 6:
        return PlaylistFrameRate{50, 1, "50000"};
    case 7:
        return PlaylistFrameRate{60000, 1001, "59940"};
    default:
        return std::nullopt;
    }
}

}  // namespace pelvano
