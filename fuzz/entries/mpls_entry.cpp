#include <algorithm>
#include <functional>

#include "base/error.h"
#include "fuzz_entries.h"
#include "fuzz_support.h"
#include "mpls/playlist_timeline.h"

namespace pelvano::fuzz {

void MplsInput(const uint8_t* data, size_t size)
{
    Playlist playlist;
    try {
        playlist = ParsePlaylist(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const Error& e) {
        const std::string message = e.what();
        FUZZ_CHECK_MSG(!message.empty() && message.find('\n') == std::string::npos, message);
        return;
    }
    // What the model promises, and the timeline built on it.
    uint64_t total = 0;
    for (const PlayItem& item : playlist.items) {
        FUZZ_CHECK(!item.angles.empty() && item.outTime >= item.inTime);
        for (const PlaylistClip& clip : item.angles)
            FUZZ_CHECK(clip.name.size() == 5 &&
                       clip.name.find_first_not_of("0123456789") == std::string::npos);
        total += item.length();
    }
    FUZZ_CHECK(total == PlaylistLength(playlist));
    for (const PlaylistMark& mark : playlist.marks)
        FUZZ_CHECK(mark.playItem < playlist.items.size());
    for (uint32_t ticks : EntryMarkTicks(playlist))
        FUZZ_CHECK(ticks <= total);
    const std::vector<uint32_t> starts = ChapterStartsMs(playlist);
    FUZZ_CHECK(std::adjacent_find(starts.begin(), starts.end(), std::greater_equal<>()) == starts.end());
    FUZZ_CHECK(starts.empty() || starts.back() <= PlaylistTicksToMs(total));
    // The rows a load makes: back to back from 0 to the end, none empty.
    uint64_t at = 0;
    for (const PlaylistSegment& segment : PlaylistSegments(playlist)) {
        FUZZ_CHECK(segment.start == at && segment.length > 0 && segment.playItem < playlist.items.size());
        at += segment.length;
    }
    FUZZ_CHECK(at == total);
}

}  // namespace pelvano::fuzz
