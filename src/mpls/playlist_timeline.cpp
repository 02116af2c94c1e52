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

std::vector<uint32_t> EntryMarkTicks(const Playlist& playlist)
{
    std::vector<uint32_t> itemStarts;
    itemStarts.reserve(playlist.items.size());
    uint32_t start = 0;
    for (const PlayItem& item : playlist.items) {
        itemStarts.push_back(start);
        start += item.length();
    }
    std::vector<uint32_t> ticks;
    for (const PlaylistMark& mark : playlist.marks) {
        if (mark.type == PlaylistMark::kEntry)
            ticks.push_back(itemStarts[mark.playItem] + (mark.time - playlist.items[mark.playItem].inTime));
    }
    return ticks;
}

std::vector<uint32_t> ChapterStartsMs(const Playlist& playlist)
{
    std::vector<uint32_t> starts;
    for (uint32_t ticks : EntryMarkTicks(playlist))
        starts.push_back(PlaylistTicksToMs(ticks));
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    return starts;
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
